// SHA-256 of a stream of bytes, computed on a thread of its own for long
// streams, so that hashing overlaps reading and writing them.
//
// Why: even at the SHA instructions' speed (about 2 GB/s here, libgcrypt),
// SHA-256 of a big body costs as much as writing it through Wine, and on a
// CPU without them it runs at a few hundred MB/s, slower than a disk; a body
// hashed as it is written waited for it. With `onAThread`, Add copies the bytes into
// 1 MiB buffers that the thread hashes while the caller goes on (at most
// kPipedBuffers waiting: memory stays bounded, and a caller faster than the
// hash waits for it). Without it, Add hashes at once: a thread costs
// milliseconds under Wine, too much for a small file.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <mutex>
#include <vector>

#include "platform/win/crypto.h"
#include "platform/win/worker_thread.h"

namespace vt::win {

class PipedSha256 {
public:
    static constexpr std::size_t kBufferBytes = 1024 * 1024;
    static constexpr std::size_t kPipedBuffers = 4;

    explicit PipedSha256(bool onAThread);
    ~PipedSha256();  // stops the thread, if any, without a digest
    PipedSha256(const PipedSha256&) = delete;
    PipedSha256& operator=(const PipedSha256&) = delete;

    void Add(const void* data, std::size_t size);
    // The digest of everything added; false when the hasher failed. Once only.
    bool Finish(Sha256& digest);

private:
    // filling_ to the thread (waiting while it has kPipedBuffers), and a
    // hashed buffer to fill next.
    void HandOver();
    void Hash();                                    // the thread's work

    Sha256Hasher hasher_;
    bool piped_;
    std::vector<std::uint8_t> filling_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<std::vector<std::uint8_t>> waiting_;
    // Hashed buffers, filled again: under Wine a fresh 1 MiB block is a fresh
    // mapping whose pages each fault in when first written, which cost a
    // second core as much time as the copy itself.
    std::vector<std::vector<std::uint8_t>> spare_;
    bool ended_ = false;
    WorkerThread thread_;  // last: it goes first
};

}  // namespace vt::win
