// The one way work reaches the launcher window's thread from another thread:
// a queue of tasks that the window runs, in the order they were handed over,
// when its procedure gets kRunWork. Post hands a task over and returns; Send
// waits until the window has run it. No pointer to a caller's stack crosses
// a message, and nothing is polled.
//
// A task must not wait for the thread that handed it over. The window never
// waits for the run, except for the run thread's end after its last task.
#pragma once

#include <windows.h>

#include <deque>
#include <functional>
#include <mutex>

namespace vt::launcher {

class UiDispatcher {
public:
    UiDispatcher(HWND window, UINT message) : window_(window), message_(message) {}
    UiDispatcher(const UiDispatcher&) = delete;
    UiDispatcher& operator=(const UiDispatcher&) = delete;

    void Post(std::function<void()> task);
    void Send(std::function<void()> task);

    // On the window's thread, for its message: runs every task handed over.
    void RunPending();

private:
    HWND window_;
    UINT message_;
    std::mutex mutex_;
    std::deque<std::function<void()>> tasks_;
};

}  // namespace vt::launcher
