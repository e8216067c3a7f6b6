#include "launcher/win/window/ui_dispatcher.h"

#include "platform/win/event.h"

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
    const win::Event done(win::Event::Reset::Manual);
    Post([task = std::move(task), &done] {
        task();
        done.Set();
    });
    done.Wait();
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
