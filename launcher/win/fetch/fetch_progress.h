// The live figures of one fetch: written by the sink on the fetching thread,
// read by the run's thread for the status text, the taskbar and the run's
// summary. What it counts as fetched is what came over the network and what
// a cut body kept; a partial update's copies from the old file are not. Each figure
// is atomic on its own, the recent rate is behind a lock; a reader may see
// them a moment apart, which a text shown a few times a second does not mind.
#pragma once

#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <mutex>

#include "launcher/rules/progress_text.h"

namespace vt::launcher {

class FetchProgress {
public:
    // A body starts, holding `keep` bytes already (a continued one) or none:
    // those count as fetched.
    void StartBody(std::uint64_t keep) {
        total_ = 0;
        sized_ = false;
        building_ = false;
        resumedAt_ = keep;
        received_ = keep;
        held_ = keep;
        const std::lock_guard<std::mutex> lock(rateLock_);
        rate_.Start(::GetTickCount64(), keep);
    }
    void Announce(std::uint64_t total) {
        if (building_) return;
        total_ = total;
        sized_ = true;
    }
    // The partial file holds this many bytes of the body. A whole body's
    // growth is what came over the network; a partial update's writing is
    // not (its old blocks are copied): its bytes count as they arrive.
    void Received(std::uint64_t bytesHeld) {
        if (building_) return;
        const std::uint64_t before = held_.exchange(bytesHeld);
        if (bytesHeld > before) {
            network_ += bytesHeld - before;
            bodyNetwork_ += bytesHeld - before;
        }
        received_ = bytesHeld;
        const std::lock_guard<std::mutex> lock(rateLock_);
        rate_.Held(::GetTickCount64(), bytesHeld);
    }
    // A partial update builds the file from the old copy and `comes` bytes
    // of ranges: from now on those are what this fetch fetches.
    void Building(std::uint64_t comes) {
        building_ = true;
        total_ = comes;
        sized_ = true;
        received_ = 0;
        resumedAt_ = 0;
        const std::lock_guard<std::mutex> lock(rateLock_);
        rate_.Start(::GetTickCount64(), 0);
    }
    // Bytes that came over the network into memory (a block index, a range
    // answer), as they come.
    void Arrived(std::uint64_t bytes) {
        network_ += bytes;
        if (!building_) return;
        received_ += bytes;
        const std::lock_guard<std::mutex> lock(rateLock_);
        rate_.Held(::GetTickCount64(), received_);
    }
    // Every byte of this fetch that came over the network, every attempt.
    std::uint64_t Network() const { return network_; }
    // Of those, the bytes of whole bodies written to the partial file.
    std::uint64_t BodyNetwork() const { return bodyNetwork_; }

    BodyProgress Snapshot() const {
        BodyProgress body;
        // A range answer's own bytes (its parts' headers) arrive too: a
        // partial update never shows more than the ranges it fetches.
        body.received = building_ ? std::min<std::uint64_t>(received_, total_) : received_.load();
        body.total = total_;
        body.sized = sized_;
        body.resumedAt = resumedAt_;
        // The last few seconds' rate: steady enough to read, true to a
        // rate that changes (a speed limit, a busy line), and a stall shows
        // as a falling rate rather than a frozen one.
        const std::lock_guard<std::mutex> lock(rateLock_);
        body.bytesPerSecond = rate_.BytesPerSecond(::GetTickCount64());
        return body;
    }

private:
    std::atomic<std::uint64_t> received_{0};  // counted as fetched: kept, then arrived
    std::atomic<std::uint64_t> held_{0};      // the partial file's bytes of a whole body
    std::atomic<std::uint64_t> total_{0};
    std::atomic<bool> sized_{false};
    std::atomic<bool> building_{false};
    std::atomic<std::uint64_t> resumedAt_{0};
    std::atomic<std::uint64_t> network_{0};
    std::atomic<std::uint64_t> bodyNetwork_{0};
    mutable std::mutex rateLock_;
    RecentRate rate_;
};

}  // namespace vt::launcher
