#include "launcher/rules/progress_text.h"

namespace vt::launcher {

std::string TimeLeftText(std::uint64_t bytesLeft, std::uint64_t bytesPerSecond) {
    if (bytesPerSecond == 0) return {};
    const std::uint64_t seconds = bytesLeft / bytesPerSecond + (bytesLeft % bytesPerSecond != 0);
    if (seconds < 60) return std::to_string(seconds) + " s left";
    const std::uint64_t minutes = seconds / 60 + (seconds % 60 != 0);  // no overflow near the top
    if (minutes < 60) return std::to_string(minutes) + " min left";
    const std::uint64_t rest = minutes % 60;
    return std::to_string(minutes / 60) + " h" + (rest ? " " + std::to_string(rest) + " min" : std::string()) + " left";
}

void RecentRate::Start(std::uint64_t nowMs, std::uint64_t held) {
    samples_.clear();
    samples_.emplace_back(nowMs, held);
    latest_ = held;
}

void RecentRate::Held(std::uint64_t nowMs, std::uint64_t held) {
    latest_ = held;
    if (samples_.empty()) {
        samples_.emplace_back(nowMs, held);
        return;
    }
    if (nowMs - samples_.back().first >= 100) samples_.emplace_back(nowMs, held);
    // The oldest kept is the last one at or before the window's start: the
    // window is always whole once it has run that long.
    while (samples_.size() > 1 && nowMs - samples_[1].first >= kWindowMs) samples_.pop_front();
}

std::uint64_t RecentRate::BytesPerSecond(std::uint64_t nowMs) const {
    if (samples_.empty() || nowMs < samples_.front().first) return 0;
    // The window ends now, not at the last byte: samples are kept as bytes
    // arrive, so during a stall the window's start is found here. After a
    // whole window of silence it starts at the last byte, and the rate is 0.
    std::size_t start = 0;
    if (nowMs >= kWindowMs)
        for (std::size_t i = samples_.size(); i-- > 1;)
            if (samples_[i].first <= nowMs - kWindowMs) {
                start = i;
                break;
            }
    const auto& [since, heldThen] = samples_[start];
    const std::uint64_t elapsed = nowMs - since;
    if (elapsed < kKnownAfterMs || latest_ < heldThen) return 0;
    return (latest_ - heldThen) * 1000 / elapsed;
}

}  // namespace vt::launcher
