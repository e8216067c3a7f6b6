// SHA-256 of a stream described by where its bytes lie: runs of a file, read
// through a handle of its own, and pieces of memory shared with the caller.
// Hashed on a thread of its own, in the order the pieces were added.
//
// Why: a file built from another file's runs and a few fetched pieces (a
// partial update, launcher/win/block_patch.h) is hashed far slower than it
// is written under Wine (CNG's SHA-256 there runs at about 250 MB/s). Handing
// the hash the bytes the writer wrote ties the writer to the hash's pace and
// holds the bytes in memory until hashed; handing it where the bytes lie lets
// the writer finish early and the file reach the disk while the hash goes on,
// and holds in memory only the fetched pieces not hashed yet (at most
// kHeldBytes, Add waits beyond that). The caller must keep the file from
// changing meanwhile (open it without FILE_SHARE_WRITE): the hash then covers
// exactly the bytes written.
#pragma once

#include <windows.h>

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/win/crypto.h"
#include "platform/win/handles.h"
#include "platform/win/worker_thread.h"

namespace vt::win {

class SourcedSha256 {
public:
    static constexpr std::size_t kReadBytes = 1024 * 1024;
    static constexpr std::uint64_t kHeldBytes = 8ull * 1024 * 1024;

    // How many bytes are hashed so far, told from the hash's thread after
    // each piece (at most kReadBytes apart): what a progress figure shows
    // when the hash, not the writing, is what the player waits for.
    using Report = std::function<void(std::uint64_t hashedBytes)>;

    // `file`: the handle runs are read through, owned from now on. The hash
    // gives up once `*stop` is true (Finish then fails and Stopped says so):
    // a run that has ended does not wait seconds for it. Throws a Failure
    // when no thread can be made.
    explicit SourcedSha256(UniqueFileHandle file, const std::atomic<bool>* stop = nullptr, Report report = {});
    ~SourcedSha256();  // stops the thread without a digest
    SourcedSha256(const SourcedSha256&) = delete;
    SourcedSha256& operator=(const SourcedSha256&) = delete;

    // `length` bytes of the file from offset `at`.
    void AddRun(std::uint64_t at, std::uint64_t length);
    // `bytes`, which lie in `owner`: kept alive until hashed.
    void AddShared(std::shared_ptr<const std::string> owner, std::string_view bytes);
    // The digest of everything added; false when the file could not be read
    // (short of a run's end included) or CNG failed. Once only.
    bool Finish(Sha256& digest);
    bool Stopped() const { return stop_ && *stop_; }

private:
    struct Piece {
        std::uint64_t at = 0;      // a run of the file, when `owner` is empty
        std::uint64_t length = 0;
        std::shared_ptr<const std::string> owner = {};
        std::string_view bytes = {};
    };
    void Push(Piece piece);
    void Hash();  // the thread's work
    bool HashRun(std::uint64_t at, std::uint64_t length);
    void Hashed(const void* data, std::size_t size);  // into the hash, and told

    UniqueFileHandle file_;
    const std::atomic<bool>* stop_;
    Report report_;
    std::uint64_t hashed_ = 0;  // the thread's own
    Sha256Hasher hasher_;
    std::vector<std::uint8_t> buffer_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<Piece> waiting_;
    std::uint64_t heldBytes_ = 0;  // of shared pieces waiting
    bool ended_ = false;           // no more pieces: hash what waits, then stop
    bool dropped_ = false;         // stop at once
    bool failed_ = false;
    WorkerThread thread_;  // last: it goes first
};

}  // namespace vt::win
