// The speed limit shared by every fetch of a run (rate_limit.h): the pool's
// threads take their shares of one bucket under a lock. A fetch waits for
// its share between two reads, never inside one, so WinINet's time-outs
// never run while it waits, and the transfer's rate floor leaves the time
// waited out of its window: our own limit never fails a fetch.
#pragma once

#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <mutex>

#include "launcher/rules/rate_limit.h"

namespace vt::launcher {

class SharedRateLimit {
public:
    explicit SharedRateLimit(std::uint64_t bytesPerSecond) : bucket_(bytesPerSecond, ::GetTickCount64()) {}
    SharedRateLimit(const SharedRateLimit&) = delete;
    SharedRateLimit& operator=(const SharedRateLimit&) = delete;

    std::uint64_t BytesPerSecond() const { return bucket_.BytesPerSecond(); }

    // Waits for a share of up to `wanted` bytes and returns it; 0 when `stop`
    // became true meanwhile. `waitedMs` grows by the time waited.
    std::uint64_t Take(std::uint64_t wanted, const std::atomic<bool>* stop, ULONGLONG& waitedMs) {
        const ULONGLONG begin = ::GetTickCount64();
        for (;;) {
            std::uint64_t pause = 0;
            {
                const std::lock_guard<std::mutex> lock(mutex_);
                const std::uint64_t now = ::GetTickCount64();
                if (const std::uint64_t granted = bucket_.Take(now, wanted)) {
                    waitedMs += now - begin;
                    return granted;
                }
                pause = bucket_.MsUntil(now, wanted);
            }
            if (stop && *stop) return 0;
            // Short naps: a stopped run is noticed at once, and the threads
            // waiting together share what flows in.
            ::Sleep(static_cast<DWORD>(std::clamp<std::uint64_t>(pause, 1, 50)));
        }
    }
    void GiveBack(std::uint64_t bytes) {
        const std::lock_guard<std::mutex> lock(mutex_);
        bucket_.GiveBack(bytes);
    }

private:
    std::mutex mutex_;
    TokenBucket bucket_;
};

}  // namespace vt::launcher
