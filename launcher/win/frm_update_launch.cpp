// The two launch buttons: hand over to the starter with "MULTI" or "SINGLE"
// and end the launcher, whatever happens.
#include "launcher/win/frm_update.h"
#include "platform/win/failure.h"

namespace vt::launcher {
namespace {

// Started minimised and active (SW_SHOWMINIMIZED), not waited for.
void StartMinimised(const std::string& commandLine) {
    std::string line = commandLine;  // CreateProcessA may write into it
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_SHOWMINIMIZED;
    PROCESS_INFORMATION process{};
    if (!::CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process))
        win::ThrowSystemError("Cannot start " + commandLine);
    win::UniqueKernelHandle processHandle(process.hProcess), threadHandle(process.hThread);
}

}  // namespace

void frmUpdate::cmdLaunch_Click() {
    ::EnableWindow(cmdLaunch, FALSE);
    Launch(true);
}

void frmUpdate::SchalterSingleLaunch_Click() { Launch(false); }

void frmUpdate::Launch(bool multiplayer) {
    ::ShowWindow(window_, SW_HIDE);
    const std::string commandLine = StarterCommandLine(settings_.AppDir, settings_.Watchdog, multiplayer);
    if (FileExists(settings_.AppDir + settings_.Watchdog)) {
        log_->Line("LAUNCH", commandLine);
        log_->Flush();
        StartMinimised(commandLine);  // a failure is unhandled: its box, then the end
    } else {
        const char* problem = LaunchProblemText(multiplayer);
        SetStatusNow(problem);
        log_->Flush();
        ::MessageBoxA(nullptr, problem, win::ProgramTitle(), MB_OK | MB_ICONHAND | MB_SETFOREGROUND);
    }
    log_->Line("ENDING", multiplayer ? "multiplayer launch" : "single-player launch");
    EndProgram();
}

}  // namespace vt::launcher
