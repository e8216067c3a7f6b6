#include "launcher/rules/rate_limit.h"

#include <algorithm>

#include "config/number_text.h"

namespace vt::launcher {

std::uint64_t MaxRateBytesPerSecond(const std::string& maxRate) {
    // At most 16 GiB/s: beyond any line, and far from overflowing below.
    const std::optional<std::int64_t> kib = ParseWholeNumber(maxRate, -1000000000, 16 * 1024 * 1024);
    if (!kib || *kib <= 0) return 0;
    return std::max<std::uint64_t>(static_cast<std::uint64_t>(*kib), kLeastRateKiB) * 1024;
}

int FetchesAtOnceWithin(int fetches, std::uint64_t bytesPerSecond) {
    if (bytesPerSecond == 0) return fetches;
    const std::uint64_t within = std::max<std::uint64_t>(1, bytesPerSecond / kLeastRatePerFetch);
    return within < static_cast<std::uint64_t>(fetches) ? static_cast<int>(within) : fetches;
}

std::uint64_t ReadSizeWithin(std::uint64_t bytesPerSecond) {
    return std::clamp<std::uint64_t>(bytesPerSecond / 8, 1024, kLargestLimitedRead);
}

std::uint64_t BucketBytes(std::uint64_t bytesPerSecond) {
    return std::max(bytesPerSecond / 16, 2 * TokenBucket::kLeastGrant);
}

TokenBucket::TokenBucket(std::uint64_t bytesPerSecond, std::uint64_t nowMs)
    : rate_(bytesPerSecond), capacity_(BucketBytes(bytesPerSecond) * 1000), milliBytes_(0), lastMs_(nowMs) {}

void TokenBucket::Refill(std::uint64_t nowMs) {
    if (nowMs <= lastMs_) return;
    // rate_ (bytes a second) is also the thousandths of a byte a millisecond.
    const std::uint64_t elapsed = std::min<std::uint64_t>(nowMs - lastMs_, 1000);
    milliBytes_ = std::min(capacity_, milliBytes_ + elapsed * rate_);
    lastMs_ = nowMs;
}

std::uint64_t TokenBucket::Take(std::uint64_t nowMs, std::uint64_t wanted) {
    Refill(nowMs);
    const std::uint64_t held = milliBytes_ / 1000;
    if (held < std::min(wanted, kLeastGrant)) return 0;
    const std::uint64_t granted = std::min(wanted, held);
    milliBytes_ -= granted * 1000;
    return granted;
}

std::uint64_t TokenBucket::MsUntil(std::uint64_t nowMs, std::uint64_t wanted) {
    Refill(nowMs);
    const std::uint64_t needed = std::min(wanted, kLeastGrant) * 1000;
    if (milliBytes_ >= needed) return 0;
    return (needed - milliBytes_ + rate_ - 1) / rate_;
}

void TokenBucket::GiveBack(std::uint64_t bytes) { milliBytes_ = std::min(capacity_, milliBytes_ + bytes * 1000); }

}  // namespace vt::launcher
