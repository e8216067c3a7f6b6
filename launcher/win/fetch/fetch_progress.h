// The live figures of one fetch: written by the sink on the fetching thread,
// read by the run's thread for the status text and the taskbar. Each figure
// is atomic on its own; a reader may see them a moment apart, which a text
// shown a few times a second does not mind.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>

#include "launcher/rules/progress_text.h"

namespace vt::launcher {

class FetchProgress {
public:
    // A body starts, holding `keep` bytes already (a continued one) or none.
    void StartBody(std::uint64_t keep) {
        total_ = 0;
        resumedAt_ = keep;
        received_ = keep;
        attemptFirst_ = keep;
        attemptStartMs_ = ::GetTickCount64();
    }
    void Announce(std::uint64_t total) { total_ = total; }
    void Received(std::uint64_t bytesHeld) { received_ = bytesHeld; }

    BodyProgress Snapshot() const {
        BodyProgress body;
        body.received = received_;
        body.total = total_;
        body.resumedAt = resumedAt_;
        // The attempt's average: steady to read, and a stall shows as a
        // falling rate rather than a frozen one.
        const std::uint64_t elapsedMs = ::GetTickCount64() - attemptStartMs_;
        const std::uint64_t first = attemptFirst_;
        if (elapsedMs >= kRateAfterMs && body.received > first)
            body.bytesPerSecond = (body.received - first) * 1000 / elapsedMs;
        return body;
    }

private:
    static constexpr std::uint64_t kRateAfterMs = 500;  // earlier, one read's burst would be the "rate"

    std::atomic<std::uint64_t> received_{0};
    std::atomic<std::uint64_t> total_{0};
    std::atomic<std::uint64_t> resumedAt_{0};
    std::atomic<std::uint64_t> attemptFirst_{0};
    std::atomic<std::uint64_t> attemptStartMs_{0};
};

}  // namespace vt::launcher
