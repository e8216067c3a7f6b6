// Several fetches at once, with their files put in place in list order.
//
// The run decides its entries one by one, as it always has, and hands each
// file that must be fetched to the pool. Up to FetchesAtOnce() fetches run on
// the pool's threads, each with a WinINet session of its own (connections are
// kept alive per session), writing the partial file and flushing it. The
// run's own thread takes the fetches back oldest first (TakeOldest) and puts
// each file in its target's place, so a file replaces its target only when
// every entry before it is in place; the first failure ends the run and the
// fetches after it are stopped and their partial files removed.
//
// A server that answers 429 or 503 with Retry-After halves the number of
// fetches at once for the rest of the run (down to one).
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "launcher/win/fetch/part_file.h"
#include "launcher/win/fetch/fetch_progress.h"
#include "launcher/win/fetch/internet_transfer.h"
#include "platform/win/worker_thread.h"

namespace vt::launcher {

struct PoolFetch {
    std::int32_t index = 0;  // the entry's line number, for the log (0: the probe, the list, the side file)
    FetchRequest request;
    std::string fileKey;  // FullPathKey of request.localFile, for IsPending
    std::unique_ptr<PartFile> part;
    FetchOutcome outcome;
    FetchProgress progress;  // the body's figures while it arrives
    bool done = false;  // the fetch has ended (outcome is final)
};

// The oldest fetch that has not ended: the one the run waits for.
struct OldestFetch {
    std::int32_t index = 0;
    BodyProgress body;
};

// Bytes of the run's entries' fetches so far (the start page, the list and
// the side file are none): what they fetched (FetchProgress), of what they
// will (their announced, expected or planned size, else what has arrived).
struct FetchTotals {
    std::uint64_t done = 0;
    std::uint64_t total = 0;
};

class FetchPool {
public:
    // `rate`: the speed limit all its fetches share; none: no limit.
    FetchPool(int fetchesAtOnce, TransferTimeouts timeouts, std::shared_ptr<SharedRateLimit> rate = nullptr);
    ~FetchPool();  // stops what is still going and waits for the threads
    FetchPool(const FetchPool&) = delete;
    FetchPool& operator=(const FetchPool&) = delete;

    void Submit(std::int32_t index, FetchRequest request);
    std::size_t Pending() const;  // submitted and not yet taken back
    bool OldestDone() const;
    // Waits for the oldest fetch to end and hands it back (nothing when none
    // is pending). `whileWaiting` is called at once and then every
    // kWaitingTickMs until it has ended (for the status text).
    std::unique_ptr<PoolFetch> TakeOldest(const std::function<void()>& whileWaiting = {});
    static constexpr unsigned kWaitingTickMs = 250;
    std::optional<OldestFetch> Oldest() const;
    FetchTotals Totals() const;
    // Fetches not yet started never start; fetches going stop at their next
    // piece. Their partial files go when their PoolFetch is destroyed.
    void StopAll();

    int FetchesAtOnce() const { return limit_.load(); }
    bool IsPending(const std::string& localFile) const;

private:
    void Worker();

    TransferTimeouts timeouts_;
    std::shared_ptr<SharedRateLimit> rate_;
    std::atomic<int> limit_;
    std::atomic<bool> stop_{false};
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<std::unique_ptr<PoolFetch>> order_;  // every pending fetch, oldest first
    std::deque<PoolFetch*> queue_;                  // not yet started
    int running_ = 0;
    std::uint64_t takenBytes_ = 0;  // what the entries' fetches taken back fetched
    std::vector<win::WorkerThread> threads_;  // last: they go first, waited for
};

}  // namespace vt::launcher
