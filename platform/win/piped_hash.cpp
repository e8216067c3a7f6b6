#include "platform/win/piped_hash.h"

#include <algorithm>
#include <cstring>

namespace vt::win {

PipedSha256::PipedSha256(bool onAThread) : piped_(onAThread) {
    if (piped_) {
        filling_.reserve(kBufferBytes);
        thread_ = WorkerThread([this] { Hash(); });
    }
}

PipedSha256::~PipedSha256() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        ended_ = true;
        waiting_.clear();
    }
    changed_.notify_all();
    thread_.Wait();
}

void PipedSha256::Add(const void* data, std::size_t size) {
    if (!piped_) {
        hasher_.Add(data, size);
        return;
    }
    const auto* bytes = static_cast<const std::uint8_t*>(data);
    while (size > 0) {
        const std::size_t take = std::min(size, kBufferBytes - filling_.size());
        filling_.insert(filling_.end(), bytes, bytes + take);
        bytes += take;
        size -= take;
        if (filling_.size() == kBufferBytes) HandOver();
    }
}

void PipedSha256::HandOver() {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [this] { return waiting_.size() < kPipedBuffers; });
    waiting_.push_back(std::move(filling_));
    if (!spare_.empty()) {
        filling_ = std::move(spare_.back());
        spare_.pop_back();
    } else {
        filling_ = {};
        filling_.reserve(kBufferBytes);
    }
    filling_.clear();
    changed_.notify_all();
}

void PipedSha256::Hash() {
    for (;;) {
        std::vector<std::uint8_t> buffer;
        {
            std::unique_lock<std::mutex> lock(mutex_);
            changed_.wait(lock, [this] { return ended_ || !waiting_.empty(); });
            if (waiting_.empty()) return;  // ended, and everything handed over is hashed
            buffer = std::move(waiting_.front());
            waiting_.pop_front();
        }
        changed_.notify_all();
        hasher_.Add(buffer.data(), buffer.size());
        std::lock_guard<std::mutex> lock(mutex_);
        spare_.push_back(std::move(buffer));
    }
}

bool PipedSha256::Finish(Sha256& digest) {
    if (piped_) {
        if (!filling_.empty()) HandOver();
        filling_ = {};
        {
            std::lock_guard<std::mutex> lock(mutex_);
            ended_ = true;
        }
        changed_.notify_all();
        thread_.Wait();  // it hashes what is waiting, then ends
        piped_ = false;
    }
    return hasher_.Finish(digest);
}

}  // namespace vt::win
