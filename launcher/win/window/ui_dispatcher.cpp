#include "launcher/win/window/ui_dispatcher.h"

#include "platform/win/handles.h"

namespace vt::launcher {

void UiDispatcher::Post(std::function<void()> task) {
    bool wake = false;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        wake = tasks_.empty();  // one message wakes the window for every task queued until it runs
        tasks_.push_back(std::move(task));
    }
    if (wake) ::PostMessageW(window_, message_, 0, 0);
}

void UiDispatcher::Send(std::function<void()> task) {
    win::UniqueKernelHandle done(::CreateEventA(nullptr, TRUE, FALSE, nullptr));
    HANDLE signal = done.get();
    Post([task = std::move(task), signal] {
        task();
        ::SetEvent(signal);
    });
    ::WaitForSingleObject(signal, INFINITE);
}

void UiDispatcher::RunPending() {
    for (;;) {
        std::function<void()> task;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (tasks_.empty()) return;
            task = std::move(tasks_.front());
            tasks_.pop_front();
        }
        task();
    }
}

}  // namespace vt::launcher
