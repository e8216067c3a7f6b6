// The two launch buttons: hand over to the starter with "MULTI" or "SINGLE"
// and end the launcher, whatever happens.
#include "launcher/win/window/frm_update.h"
#include "platform/win/text_codes.h"
#include "platform/win/failure.h"
#include "platform/win/files.h"
#include "platform/win/process.h"

namespace vt::launcher {

void frmUpdate::cmdLaunch_Click() {
    ::EnableWindow(cmdLaunch, FALSE);
    Launch(true);
}

void frmUpdate::SchalterSingleLaunch_Click() { Launch(false); }

void frmUpdate::Launch(bool multiplayer) {
    ::ShowWindow(window_, SW_HIDE);
    const std::string commandLine = StarterCommandLine(settings_.AppDir, settings_.Watchdog, multiplayer);
    if (win::FileExists(settings_.AppDir + settings_.Watchdog)) {
        log_->Line("LAUNCH", commandLine);
        // Started minimised and active, not waited for; a failure is
        // unhandled: its box, then the end.
        win::StartProgram(commandLine, settings_.AppDir + settings_.Watchdog, SW_SHOWMINIMIZED);
    } else {
        const char* problem = LaunchProblemText(multiplayer);
        SetStatusNow(problem);
        ::MessageBoxW(nullptr, win::Wide(problem).c_str(), win::Wide(win::ProgramTitle()).c_str(), MB_OK | MB_ICONHAND | MB_SETFOREGROUND);
    }
    log_->Line("ENDING", multiplayer ? "multiplayer launch" : "single-player launch");
    EndProgram();
}

}  // namespace vt::launcher
