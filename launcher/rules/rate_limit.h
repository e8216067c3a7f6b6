// The player's speed limit (MAXRATE= in UPDATE.CFG): the most bytes a second
// the launcher fetches, all its fetches together (the pool, a partial
// update's ranges, mirrors, the list and the side file).
//
// It is a token bucket: bytes' worth of permission flow in at the limit and
// are spent by reads. It starts empty and holds a sixteenth of a second's
// worth at most (BucketBytes; 2 KiB at the lowest limits), so after a pause
// (a file being decided, a server's wait) at most that comes at once: over
// any window of T seconds at most T + 0.0625 seconds' worth arrives, over
// 2 s within 3.2% of the limit, over a minute within 0.2%. The bucket is
// sized in time, not in reads: the fetches waiting for their share nap a
// few milliseconds (up to 50, and a nap may last longer than asked), and a
// bucket of two 64 KiB reads, 2.5 ms at 50 MB/s, overflowed during every
// nap and threw the limit away (a limit of 50 MB/s gave 18). A read may be
// granted less than it asked for: it takes what the bucket holds.
#pragma once

#include <cstdint>
#include <string>

namespace vt::launcher {

// MAXRATE= in KB a second (1,024 bytes, UPDATE.CFG's number syntax, a
// fraction rounded): 0 when empty, 0 or not a number (no limit); a value
// under 16 counts as 16.
inline constexpr std::uint64_t kLeastRateKiB = 16;
std::uint64_t MaxRateBytesPerSecond(const std::string& maxRate);

// Fewer fetches at once under a low limit: at least 32 KiB/s for each, so a
// server does not see six trickles it may drop. `fetches`: MAXDOWNLOADS='s.
inline constexpr std::uint64_t kLeastRatePerFetch = 32 * 1024;
int FetchesAtOnceWithin(int fetches, std::uint64_t bytesPerSecond);

// The largest read under a limit: an eighth of a second's worth, within
// 1 KiB and 1 MiB (the size of a fast read without a limit), so that a fetch
// under a low limit reads small pieces often and the server never waits
// long between two writes (nginx closes after 60 s without one), and one
// under a high limit reads as fast as without it.
inline constexpr std::uint64_t kLargestLimitedRead = 1024 * 1024;
std::uint64_t ReadSizeWithin(std::uint64_t bytesPerSecond);
// What the bucket holds at most: a sixteenth of a second's worth, and never
// less than two of the smallest grants.
std::uint64_t BucketBytes(std::uint64_t bytesPerSecond);

class TokenBucket {
public:
    // Starts empty. `nowMs`: any steady clock's milliseconds.
    TokenBucket(std::uint64_t bytesPerSecond, std::uint64_t nowMs);

    // Spends up to `wanted` bytes' worth: how many may be read now. 0 while
    // the bucket holds less than a useful piece (1 KiB, or all that is
    // wanted when less), so reads are not cut into crumbs; MsUntil says how
    // long that takes.
    static constexpr std::uint64_t kLeastGrant = 1024;
    std::uint64_t Take(std::uint64_t nowMs, std::uint64_t wanted);
    std::uint64_t MsUntil(std::uint64_t nowMs, std::uint64_t wanted);
    // What a read was granted and did not use.
    void GiveBack(std::uint64_t bytes);

    std::uint64_t BytesPerSecond() const { return rate_; }

private:
    void Refill(std::uint64_t nowMs);

    std::uint64_t rate_;
    std::uint64_t capacity_;    // in thousandths of a byte: BucketBytes
    std::uint64_t milliBytes_;  // the bucket, in thousandths of a byte: exact at any rate and tick
    std::uint64_t lastMs_;
};

}  // namespace vt::launcher
