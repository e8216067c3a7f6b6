// Unhandled failures: a failure that no step of the programs handles ends the
// program after one modal box that names it, titled with the program's title.
// Event handlers and COM methods run through GuardEvent so that no exception
// ever crosses into the system.
#pragma once

#include <windows.h>

#include <exception>
#include <stdexcept>
#include <optional>
#include <string>

namespace vt::win {

class Failure : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Runs `work` and says what an exception escaping it said (nothing when none
// did): the one way a thread's work, a transfer or a COM method turns a
// throw into an outcome, since no exception may cross those edges.
template <typename Work>
std::optional<std::string> FailureOf(Work&& work) noexcept {
    try {
        work();
        return std::nullopt;
    } catch (const std::exception& e) {
        return std::string(e.what());
    } catch (...) {
        return std::string("an unknown failure");
    }
}

// The system's text for an error code, without its trailing line end.
std::string SystemMessage(DWORD code);
// "<system message> (error <code>)": how every log line and box names a
// system error. The number stays beside the words: a short write on a full
// disk reports "Success" with code 0 under Wine, and the number says so.
std::string SystemErrorText(DWORD code);

// Throws a Failure reading "<what>: <system message> (error <code>)".
[[noreturn]] void ThrowSystemError(const std::string& what, DWORD code = ::GetLastError());

// "VT Launcher" or "vtwd.exe"; set once at program start.
void SetProgramTitle(const char* title);
const char* ProgramTitle();

// The window that owns the unhandled-failure box, so that the box is modal to
// it; until one is set (and for a program without a window) the box is
// task-modal, which disables every window of the thread that shows it.
void SetFailureOwner(HWND owner);

// Shows the box (critical icon, OK) and ends the process at once.
[[noreturn]] void EndWithUnhandledFailure(const std::string& what);

template <typename F>
void GuardEvent(F&& handler) noexcept {
    try {
        handler();
    } catch (const std::exception& e) {
        EndWithUnhandledFailure(e.what());
    } catch (...) {
        EndWithUnhandledFailure("An unknown error occurred.");
    }
}

}  // namespace vt::win
