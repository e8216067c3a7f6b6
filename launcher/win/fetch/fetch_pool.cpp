#include "launcher/win/fetch/fetch_pool.h"

#include <algorithm>
#include "launcher/win/fetch/sources.h"
#include "platform/win/files.h"

#include <windows.h>

#include <chrono>
#include <exception>

#include "platform/win/failure.h"

namespace vt::launcher {

FetchPool::FetchPool(int fetchesAtOnce, TransferTimeouts timeouts, std::shared_ptr<SharedRateLimit> rate)
    : timeouts_(timeouts), rate_(std::move(rate)), limit_(fetchesAtOnce < 1 ? 1 : fetchesAtOnce) {
    // Threads start with the first fetches that need them (a thread costs
    // milliseconds under Wine; a run with nothing to fetch starts none).
}

FetchPool::~FetchPool() {
    StopAll();
    threads_.clear();  // each waits for its thread
}

void FetchPool::Submit(std::int32_t index, FetchRequest request) {
    auto fetch = std::make_unique<PoolFetch>();
    fetch->index = index;
    fetch->request = std::move(request);
    fetch->fileKey = win::FullPathKey(fetch->request.localFile);
    fetch->part = std::make_unique<PartFile>(fetch->request);
    fetch->part->StopWhen(&stop_);
    fetch->part->ReportTo(&fetch->progress);
    std::lock_guard<std::mutex> lock(mutex_);
    queue_.push_back(fetch.get());
    order_.push_back(std::move(fetch));
    const std::size_t wanted = static_cast<std::size_t>(limit_.load());
    if (threads_.size() < wanted && threads_.size() < queue_.size() + static_cast<std::size_t>(running_))
        threads_.emplace_back([this] { Worker(); });
    changed_.notify_all();
}

std::size_t FetchPool::Pending() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return order_.size();
}

bool FetchPool::OldestDone() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return !order_.empty() && order_.front()->done;
}

bool FetchPool::IsPending(const std::string& localFile) const {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (order_.empty()) return false;  // a no-op run asks for every entry: nothing to resolve
    }
    // The file, not its spelling: "DATA\sub\..\x.txt" is "DATA\x.txt".
    const std::string key = win::FullPathKey(localFile);
    std::lock_guard<std::mutex> lock(mutex_);
    for (const auto& fetch : order_)
        if (fetch->fileKey == key) return true;
    return false;
}

std::unique_ptr<PoolFetch> FetchPool::TakeOldest(const std::function<void()>& whileWaiting) {
    std::unique_lock<std::mutex> lock(mutex_);
    if (order_.empty()) return nullptr;
    while (!order_.front()->done) {
        if (whileWaiting) {
            lock.unlock();
            whileWaiting();
            lock.lock();
        }
        changed_.wait_for(lock, std::chrono::milliseconds(kWaitingTickMs), [this] { return order_.front()->done; });
    }
    std::unique_ptr<PoolFetch> oldest = std::move(order_.front());
    order_.pop_front();
    if (oldest->index > 0) takenBytes_ += oldest->progress.Snapshot().received;
    return oldest;
}

std::optional<OldestFetch> FetchPool::Oldest() const {
    std::lock_guard<std::mutex> lock(mutex_);
    for (const auto& fetch : order_)
        if (!fetch->done) return OldestFetch{fetch->index, fetch->progress.Snapshot()};
    return std::nullopt;  // the ended ones are put in place at once: nothing to wait for
}

FetchTotals FetchPool::Totals() const {
    std::lock_guard<std::mutex> lock(mutex_);
    FetchTotals totals{takenBytes_, takenBytes_};
    for (const auto& fetch : order_) {
        if (fetch->index == 0) continue;  // the start page, the list, the side file: no entry's
        const BodyProgress body = fetch->progress.Snapshot();
        totals.done += body.received;
        totals.total += body.sized ? std::max(body.total, body.received)
                        : fetch->request.expected ? fetch->request.expected->size
                                                  : body.received;
    }
    return totals;
}

void FetchPool::StopAll() {
    std::lock_guard<std::mutex> lock(mutex_);
    stop_ = true;
    for (PoolFetch* waiting : queue_) {
        waiting->outcome.error = "stopped: the run has ended";
        waiting->done = true;
    }
    queue_.clear();
    changed_.notify_all();
}

void FetchPool::Worker() {
    std::unique_ptr<InternetTransfer> transfer;
    for (;;) {
        PoolFetch* fetch = nullptr;
        {
            std::unique_lock<std::mutex> lock(mutex_);
            changed_.wait(lock, [this] { return stop_ || (!queue_.empty() && running_ < limit_.load()); });
            if (stop_) return;
            fetch = queue_.front();
            queue_.pop_front();
            ++running_;
        }
        FetchOutcome outcome;
        const std::optional<std::string> failed = win::FailureOf([&] {
            if (!transfer) {
                transfer = std::make_unique<InternetTransfer>(timeouts_);
                transfer->StopWhen(&stop_);
                transfer->LimitRate(rate_);
            }
            outcome = FetchFromSources(*transfer, *fetch->part, fetch->request);  // flushed here, in parallel too
        });
        if (failed) {
            outcome.ok = false;
            outcome.error = "failed: " + *failed;
        }
        std::lock_guard<std::mutex> lock(mutex_);
        if (outcome.throttled) {
            const int lowered = limit_.load() / 2;
            limit_ = lowered < 1 ? 1 : lowered;
        }
        fetch->outcome = std::move(outcome);
        fetch->done = true;
        --running_;
        changed_.notify_all();
    }
}

}  // namespace vt::launcher
