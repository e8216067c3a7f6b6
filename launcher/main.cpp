// VT_Update: the update launcher the player starts.
#include <windows.h>

#include "config/win/config_file.h"
#include "platform/win/failure.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    vt::win::SetProgramTitle("VT Launcher");
    vt::win::GuardEvent([] { vt::win::ReadLauncherSettings(vt::win::ProgramAppDir()); });
    return 0;
}
