#include "platform/win/sourced_hash.h"

#include <algorithm>

namespace vt::win {

SourcedSha256::SourcedSha256(UniqueFileHandle file, const std::atomic<bool>* stop, Report report)
    : file_(std::move(file)), stop_(stop), report_(std::move(report)), buffer_(kReadBytes), thread_([this] { Hash(); }) {}

SourcedSha256::~SourcedSha256() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        ended_ = dropped_ = true;
        waiting_.clear();
    }
    changed_.notify_all();
    thread_.Wait();
}

void SourcedSha256::AddRun(std::uint64_t at, std::uint64_t length) {
    if (length == 0) return;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        // A run that goes on from the last one joins it: a file built from
        // one old copy is mostly one long run, and the queue stays short.
        if (!waiting_.empty() && !waiting_.back().owner && waiting_.back().at + waiting_.back().length == at) {
            waiting_.back().length += length;
            return;
        }
    }
    Push(Piece{at, length});
}

void SourcedSha256::AddShared(std::shared_ptr<const std::string> owner, std::string_view bytes) {
    if (bytes.empty()) return;
    Piece piece;
    piece.length = bytes.size();
    piece.owner = std::move(owner);
    piece.bytes = bytes;
    Push(std::move(piece));
}

void SourcedSha256::Push(Piece piece) {
    std::unique_lock<std::mutex> lock(mutex_);
    if (piece.owner) {
        // One piece longer than the bound is let through alone.
        changed_.wait(lock, [&] { return heldBytes_ == 0 || heldBytes_ + piece.length <= kHeldBytes; });
        heldBytes_ += piece.length;
    }
    waiting_.push_back(std::move(piece));
    changed_.notify_all();
}

void SourcedSha256::Hash() {
    for (;;) {
        Piece piece;
        {
            std::unique_lock<std::mutex> lock(mutex_);
            changed_.wait(lock, [this] { return ended_ || !waiting_.empty(); });
            if (dropped_ || waiting_.empty()) return;
            piece = std::move(waiting_.front());
            waiting_.pop_front();
        }
        bool ok = !Stopped();
        if (ok && piece.owner) Hashed(piece.bytes.data(), piece.bytes.size());
        else if (ok) ok = HashRun(piece.at, piece.length);
        std::lock_guard<std::mutex> lock(mutex_);
        if (piece.owner) heldBytes_ -= piece.length;
        if (!ok) failed_ = true;
        changed_.notify_all();
    }
}

bool SourcedSha256::HashRun(std::uint64_t at, std::uint64_t length) {
    LARGE_INTEGER to;
    to.QuadPart = static_cast<LONGLONG>(at);
    if (!::SetFilePointerEx(file_.get(), to, nullptr, FILE_BEGIN)) return false;
    while (length > 0 && !Stopped()) {
        const DWORD want = static_cast<DWORD>(std::min<std::uint64_t>(length, buffer_.size()));
        DWORD got = 0;
        if (!::ReadFile(file_.get(), buffer_.data(), want, &got, nullptr) || got != want) return false;
        Hashed(buffer_.data(), got);
        length -= got;
    }
    return length == 0;
}

void SourcedSha256::Hashed(const void* data, std::size_t size) {
    hasher_.Add(data, size);
    hashed_ += size;
    if (report_) report_(hashed_);
}

bool SourcedSha256::Finish(Sha256& digest) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        ended_ = true;
    }
    changed_.notify_all();
    thread_.Wait();  // it hashes what is waiting, then ends
    return !failed_ && hasher_.Finish(digest);
}

}  // namespace vt::win
