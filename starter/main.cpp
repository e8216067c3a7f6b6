// VT_Starter, installed as vtwd.exe: the game starter the launcher hands over
// to with "MULTI" or "SINGLE". It shows no window; see starter_form.h.
#include <windows.h>

#include "platform/win/failure.h"
#include "starter/win/starter_form.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR argumentText, int) {
    vt::win::SetProgramTitle("vtwd.exe");
    int exitCode = 1;
    vt::win::GuardEvent([&] {
        vt::starter::VT_StarterMainForm form(instance, argumentText ? argumentText : "");
        exitCode = form.RunMessageLoop();
    });
    return exitCode;
}
