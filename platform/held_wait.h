// How long a file another program holds for a moment is waited for.
//
// On Windows a file that was just written, or is about to be replaced, is
// often held for a moment by another program: a virus scanner reading a new
// file as it is closed, the search indexer, a backup or sync tool, a game's
// anti-cheat. Such a hold ends by itself within a second or two. A program
// that gives up at the first refusal throws away a whole fetch, or ends with
// the FILE ACCESS ERROR, for a file that is free a moment later.
//
// The schedule: the operation is asked again after pauses that begin at
// kFirstPauseMs and double up to kLongestPauseMs, until the bound of its kind
// has passed; the last pause is cut so that the bound is kept. The count of
// tries is bounded too, so a clock that does not move cannot keep a wait
// going. Portable: the Win32 side (which errors are a hold, the pause itself)
// is platform/win/held_file.h.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace vt {

enum class HoldBound {
    // A look at a file before its times are read: long enough to pass a
    // scanner's read of a file (a second or two), short enough that a file
    // the game really holds still ends in the FILE ACCESS ERROR within a few
    // seconds.
    Look,
    // A read, replace, copy or delete of a file: work is lost when it fails
    // (a whole fetch, the list, the game's start), so it waits longer.
    Use,
};

inline constexpr std::uint32_t kFirstPauseMs = 50;
inline constexpr std::uint32_t kLongestPauseMs = 1000;
inline constexpr std::uint32_t kLookBoundMs = 3000;
inline constexpr std::uint32_t kUseBoundMs = 6000;
// More than the doubling pauses could take within the longest bound: only a
// clock that stands still meets it.
inline constexpr int kMostTries = 32;

std::uint32_t BoundMs(HoldBound bound);

class HeldWaitSchedule {
public:
    explicit HeldWaitSchedule(HoldBound bound) : boundMs_(BoundMs(bound)) {}

    // The pause before the next try, `elapsedMs` after the first one began;
    // nothing when the bound (or the count of tries) is reached.
    std::optional<std::uint32_t> NextPause(std::uint64_t elapsedMs);
    int Tries() const { return tries_; }  // tries so far, the first one included

private:
    std::uint32_t boundMs_;
    std::uint32_t pause_ = kFirstPauseMs;
    int tries_ = 1;
};

// What the log says of a wait: "held by another program, waited 1.2 s".
std::string HeldWaitText(std::uint64_t waitedMs);

}  // namespace vt
