// Waiting out a file that another program holds for a moment (held_wait.h
// says why, and how long). Every open, replace, copy or delete of a file of
// ours or the player's goes through WhileHeld: the first try costs nothing
// more than the operation; only a refusal that a hold explains is asked again.
//
// A hold is a sharing or lock violation. For a rename over a file or a delete
// of one (WhileHeldOrDenied), "access denied" on a file that exists is one
// too: Windows answers those with access denied when another program has the
// file open, and so does Wine's server. An open refused with access denied
// is the file's permissions (a log under Program Files), never waited for.
// Anything else (not there, a full disk, a bad name) fails at once, as before.
//
// The pause between tries sleeps, except on a thread with windows of its own,
// where it goes on handling the thread's messages (a window waiting must not
// look hung). The launcher's run has a thread of its own; the starter's start
// sequence runs on its window's thread.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>
#include <utility>

#include "platform/held_wait.h"

namespace vt::win {

// Whether `error`, from an operation on `path`, is a hold another program
// may end; `deniedIsHold`: the operation is a rename over `path` or its delete.
bool IsHoldError(DWORD error, const std::string& path, bool deniedIsHold);

// Where the program writes down each wait: `path`, how long it was waited
// for, and whether the hold ended within the bound. Set once at the start,
// before any thread of the program's work; none by default (tests).
using HeldFileReport = std::function<void(const std::string& path, std::uint64_t waitedMs, bool freed)>;
void ReportHeldFilesTo(HeldFileReport report);
// The line the programs log for a wait: "C:\x.txt: held by another program,
// waited 1.2 s" (and ", still held" when it outlasted the bound).
std::string HeldFileLine(const std::string& path, std::uint64_t waitedMs, bool freed);

// The slow road of WhileHeld: pauses and asks `attempt` again until it
// succeeds, fails for another reason, or the bound passes. GetLastError is
// the last try's.
bool WaitOutHold(const std::string& path, HoldBound bound, bool deniedIsHold, const std::function<bool()>& attempt);

namespace detail {
template <typename Attempt>
bool WhileHeld(const std::string& path, HoldBound bound, bool deniedIsHold, Attempt& attempt) {
    if (attempt()) return true;
    const DWORD error = ::GetLastError();
    if (!IsHoldError(error, path, deniedIsHold)) {
        ::SetLastError(error);
        return false;
    }
    return WaitOutHold(path, bound, deniedIsHold, std::function<bool()>(std::ref(attempt)));
}
}  // namespace detail

// Runs `attempt`, an open or copy of `path` (true on success; on failure
// GetLastError says why) and, when another program holds `path`, again with
// growing pauses within the bound of its kind. GetLastError on false is the
// last try's.
template <typename Attempt>
bool WhileHeld(const std::string& path, HoldBound bound, Attempt&& attempt) {
    return detail::WhileHeld(path, bound, false, attempt);
}
// The same for a rename over `path` or its delete.
template <typename Attempt>
bool WhileHeldOrDenied(const std::string& path, HoldBound bound, Attempt&& attempt) {
    return detail::WhileHeld(path, bound, true, attempt);
}

}  // namespace vt::win
