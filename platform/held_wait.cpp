#include "platform/held_wait.h"

#include <algorithm>

namespace vt {

std::uint32_t BoundMs(HoldBound bound) { return bound == HoldBound::Look ? kLookBoundMs : kUseBoundMs; }

std::optional<std::uint32_t> HeldWaitSchedule::NextPause(std::uint64_t elapsedMs) {
    if (elapsedMs >= boundMs_ || tries_ >= kMostTries) return std::nullopt;
    const std::uint64_t left = boundMs_ - elapsedMs;
    const std::uint32_t pause = static_cast<std::uint32_t>(std::min<std::uint64_t>(pause_, left));
    pause_ = std::min(pause_ * 2, kLongestPauseMs);
    ++tries_;
    return pause;
}

std::string HeldWaitText(std::uint64_t waitedMs) {
    // Tenths of a second, rounded: what a person reads in a log.
    const std::uint64_t tenths = (waitedMs + 50) / 100;
    return "held by another program, waited " + std::to_string(tenths / 10) + "." + std::to_string(tenths % 10) + " s";
}

}  // namespace vt
