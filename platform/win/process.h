// Starting programs, for the launcher's hand-over to the starter and the
// starter's game.
#pragma once

#include <windows.h>

#include <string>

#include "platform/win/handles.h"

namespace vt::win {

struct StartedProcess {
    UniqueKernelHandle process;
    UniqueKernelHandle thread;
    DWORD id = 0;
};

// Starts `commandLine` with the show-window code `show` (for example
// SW_SHOWMINIMIZED) in the caller's own working folder, inherited. Throws a
// Failure "Cannot start <program>: <system text>" when the system refuses.
StartedProcess StartProgram(const std::string& commandLine, const std::string& program, WORD show,
                            bool suspended = false);

// How far a wait reached.
enum class WaitScope {
    AllProcesses,  // the started process and every process it started, through a job object
    FirstProcess,  // only the started process: no job object could be had (`why` says why)
};

// Starts `commandLine` (as StartProgram) and waits without a time-out until
// the started process and every process it starts in turn have ended: a game
// whose executable starts the real game (or an anti-cheat stub) and ends at
// once is still running from its folder. The process is started suspended,
// put into a job with a completion port, then resumed, so not even its first
// child can escape the job. When the job cannot be made or assigned, only the
// started process is waited for.
WaitScope StartAndWaitForAll(const std::string& commandLine, const std::string& program, WORD show, std::string* why);

}  // namespace vt::win
