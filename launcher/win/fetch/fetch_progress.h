// The live figures of one fetch: written by the sink on the fetching thread,
// read by the run's thread for the status text and the taskbar. Each figure
// is atomic on its own, the recent rate is behind a lock; a reader may see
// them a moment apart, which a text shown a few times a second does not mind.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <mutex>

#include "launcher/rules/progress_text.h"

namespace vt::launcher {

class FetchProgress {
public:
    // A body starts, holding `keep` bytes already (a continued one) or none.
    void StartBody(std::uint64_t keep) {
        total_ = 0;
        resumedAt_ = keep;
        received_ = keep;
        const std::lock_guard<std::mutex> lock(rateLock_);
        rate_.Start(::GetTickCount64(), keep);
    }
    void Announce(std::uint64_t total) { total_ = total; }
    void Received(std::uint64_t bytesHeld) {
        received_ = bytesHeld;
        const std::lock_guard<std::mutex> lock(rateLock_);
        rate_.Held(::GetTickCount64(), bytesHeld);
    }

    BodyProgress Snapshot() const {
        BodyProgress body;
        body.received = received_;
        body.total = total_;
        body.resumedAt = resumedAt_;
        // The last few seconds' rate: steady enough to read, true to a
        // rate that changes (a speed limit, a busy line), and a stall shows
        // as a falling rate rather than a frozen one.
        const std::lock_guard<std::mutex> lock(rateLock_);
        body.bytesPerSecond = rate_.BytesPerSecond(::GetTickCount64());
        return body;
    }

private:
    std::atomic<std::uint64_t> received_{0};
    std::atomic<std::uint64_t> total_{0};
    std::atomic<std::uint64_t> resumedAt_{0};
    mutable std::mutex rateLock_;
    RecentRate rate_;
};

}  // namespace vt::launcher
