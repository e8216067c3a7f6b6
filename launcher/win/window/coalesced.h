// The newest value handed over from the run's thread to the window's: while
// one is waiting to be shown a newer one only replaces it, so that a list of
// 10,000 up-to-date entries costs the window a task per turn, not per entry.
#pragma once

#include <mutex>
#include <optional>
#include <utility>

namespace vt::launcher {

template <typename T>
class Coalesced {
public:
    // Keeps `value`; true when none was waiting yet (the caller posts a task for it).
    bool Set(T value) {
        std::lock_guard<std::mutex> lock(mutex_);
        latest_ = std::move(value);
        return !std::exchange(waiting_, true);
    }
    // The value waiting to be shown, once; nothing when it is on screen already.
    std::optional<T> Take() {
        std::lock_guard<std::mutex> lock(mutex_);
        if (!std::exchange(waiting_, false)) return std::nullopt;
        return std::move(latest_);
    }

private:
    std::mutex mutex_;
    T latest_{};
    bool waiting_ = false;
};

}  // namespace vt::launcher
