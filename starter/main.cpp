// VT_Starter, installed as vtwd.exe: the game starter the launcher hands over
// to with "MULTI" or "SINGLE". It shows no window; see starter_form.h.
#include <windows.h>

#include "platform/win/failure.h"
#include "platform/win/text_codes.h"
#include "starter/win/starter_form.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR argumentText, int) {
    vt::win::SetProgramTitle("vtwd.exe");
    int exitCode = 1;
    vt::win::GuardEvent([&] {
        // The argument text comes in the system's ANSI code page; inside, UTF-8.
        const std::string text = argumentText ? vt::win::Utf8From(vt::win::WideFrom(argumentText, CP_ACP)) : "";
        vt::starter::VT_StarterMainForm form(instance, text);
        exitCode = form.RunMessageLoop();
    });
    return exitCode;
}
