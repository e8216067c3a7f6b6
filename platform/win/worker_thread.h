// The one way both programs run work on a thread of their own: the update
// run, the fetch pool's fetches, the transfer's fast reads.
//
// A WorkerThread starts its work at once and is waited for by its owner:
// Wait (with a bound) or the destructor (without one). Nothing escapes the
// thread: an exception from the work is caught and kept (Failure), since an
// exception leaving a thread ends the process. A thread that cannot be
// stopped (a WinINet read that does not return until its server answers) is
// let go with Detach: it ends by itself, and owns what it needs (its work
// must hold its own references).
//
// CreateThread rather than std::thread: a handle the window's thread can wait
// on with a bound, and the same kind as every other handle here.
#pragma once

#include <windows.h>

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "platform/win/handles.h"

namespace vt::win {

class WorkerThread {
public:
    WorkerThread() = default;
    // Throws a Failure when no thread can be made.
    explicit WorkerThread(std::function<void()> work);
    ~WorkerThread();  // waits for the work to end, unless detached
    WorkerThread(WorkerThread&&) noexcept = default;
    WorkerThread& operator=(WorkerThread&& other) noexcept;
    WorkerThread(const WorkerThread&) = delete;
    WorkerThread& operator=(const WorkerThread&) = delete;

    explicit operator bool() const { return static_cast<bool>(thread_); }
    // True when the work has ended (at once, within `ms`).
    bool Wait(DWORD ms = INFINITE);
    // The thread ends by itself; this object no longer waits for it.
    void Detach();
    // What the work threw, once it has ended (nothing when it did not throw).
    std::optional<std::string> Failure() const;

    struct State;  // shared by the owner and the thread

private:
    std::shared_ptr<State> state_;
    UniqueKernelHandle thread_;
};

}  // namespace vt::win
