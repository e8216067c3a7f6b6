// The figures of a body on its way, and the time-left rule the status
// texts use (update_progress.h puts them together for the whole update):
//
// The time left is bytes left at the recent rate (RecentRate: the last few
// seconds, so that it does not jump with each read), rounded up: "45 s
// left" under a minute, "12 min left" under an hour, then "1 h 5 min
// left". Nothing where the rate is not known yet.
#pragma once

#include <cstdint>
#include <deque>
#include <string>
#include <utility>

namespace vt::launcher {

// What is known of a body on its way.
struct BodyProgress {
    std::uint64_t received = 0;        // bytes fetched: kept from a cut body, then arrived
    std::uint64_t total = 0;           // the whole body; 0 when the server did not say
    std::uint64_t resumedAt = 0;       // a cut body continued from here; 0 when not
    std::uint64_t bytesPerSecond = 0;  // of this attempt's bytes; 0 while not yet known
    bool sized = false;                // `total` is known (a partial update's may be 0 bytes to come)
};

// "3 s left", "12 min left", "1 h 5 min left": `bytesLeft` at `bytesPerSecond`,
// rounded up; empty when the rate is 0.
std::string TimeLeftText(std::uint64_t bytesLeft, std::uint64_t bytesPerSecond);

// The rate of a body over its last few seconds, from the bytes it held at
// moments the caller tells (milliseconds of any steady clock). A stall shows
// as a falling rate, since the time runs on without bytes.
class RecentRate {
public:
    static constexpr std::uint64_t kWindowMs = 5000;
    static constexpr std::uint64_t kKnownAfterMs = 500;  // earlier, one read's burst would be the "rate"

    void Start(std::uint64_t nowMs, std::uint64_t held);  // a body (or an attempt) starts with `held` bytes
    void Held(std::uint64_t nowMs, std::uint64_t held);   // it holds this many now
    // 0 while it has been watched for less than kKnownAfterMs.
    std::uint64_t BytesPerSecond(std::uint64_t nowMs) const;

private:
    std::deque<std::pair<std::uint64_t, std::uint64_t>> samples_;  // (ms, held), oldest first, one per 100 ms at most
    std::uint64_t latest_ = 0;
};

}  // namespace vt::launcher
