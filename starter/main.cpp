// VT_Starter, installed as vtwd.exe: the game starter the launcher hands over to.
#include <windows.h>

#include "config/win/config_file.h"
#include "platform/win/failure.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    vt::win::SetProgramTitle("vtwd.exe");
    vt::win::GuardEvent([] { vt::win::ReadStarterSettings(vt::win::ProgramAppDir()); });
    return 0;
}
