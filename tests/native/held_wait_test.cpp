#include "platform/held_wait.h"

#include <gtest/gtest.h>

#include <vector>

using vt::HeldWaitSchedule;
using vt::HoldBound;

namespace {

// The pauses a schedule asks for when every try takes no time: the clock
// moves by the pauses alone.
std::vector<std::uint32_t> PausesOf(HoldBound bound) {
    HeldWaitSchedule schedule(bound);
    std::vector<std::uint32_t> pauses;
    std::uint64_t elapsed = 0;
    while (const auto pause = schedule.NextPause(elapsed)) {
        pauses.push_back(*pause);
        elapsed += *pause;
    }
    return pauses;
}

std::uint64_t Sum(const std::vector<std::uint32_t>& pauses) {
    std::uint64_t sum = 0;
    for (const std::uint32_t p : pauses) sum += p;
    return sum;
}

}  // namespace

TEST(HeldWait, PausesDoubleFromFiftyAndTheLastIsCutToTheBound) {
    EXPECT_EQ(PausesOf(HoldBound::Look), (std::vector<std::uint32_t>{50, 100, 200, 400, 800, 1000, 450}));
    const std::vector<std::uint32_t> use = PausesOf(HoldBound::Use);
    EXPECT_EQ(Sum(use), vt::kUseBoundMs);
    EXPECT_EQ(use.front(), 50u);
    for (std::size_t i = 1; i < use.size(); ++i) EXPECT_LE(use[i], vt::kLongestPauseMs);
}

// What the bounds are for: a scanner's read of 1.5 s passes the look, a hold
// of 2.5 s passes a replace, and a file held for good ends the look within a
// few seconds.
TEST(HeldWait, TheBoundsPassAScannersHoldAndEndAGamesHoldSoon) {
    const std::vector<std::uint32_t> look = PausesOf(HoldBound::Look);
    EXPECT_GT(Sum(look), 1500u);
    EXPECT_LE(Sum(look), 5000u);
    EXPECT_GT(Sum(PausesOf(HoldBound::Use)), 2500u);
}

// Slow tries (a busy machine, a slow share) take time of their own: the
// bound counts the clock, not the pauses, so the wait ends on time.
TEST(HeldWait, SlowTriesEndTheWaitByTheClock) {
    HeldWaitSchedule schedule(HoldBound::Look);
    EXPECT_EQ(schedule.NextPause(0), 50u);
    EXPECT_EQ(schedule.NextPause(2900), 100u);
    EXPECT_EQ(schedule.NextPause(2950), 50u) << "the last pause ends at the bound";
    EXPECT_EQ(schedule.NextPause(3000), std::nullopt);
    EXPECT_EQ(schedule.Tries(), 4);
}

// A clock that stands still (or goes back) cannot keep a wait going.
TEST(HeldWait, AStandingClockEndsAfterABoundedCountOfTries) {
    HeldWaitSchedule schedule(HoldBound::Use);
    int pauses = 0;
    while (schedule.NextPause(0) && pauses < 1000) ++pauses;
    EXPECT_EQ(pauses, vt::kMostTries - 1);
}

TEST(HeldWait, TheLogSaysHowLongInTenthsOfASecond) {
    EXPECT_EQ(vt::HeldWaitText(1234), "held by another program, waited 1.2 s");
    EXPECT_EQ(vt::HeldWaitText(50), "held by another program, waited 0.1 s");
    EXPECT_EQ(vt::HeldWaitText(6000), "held by another program, waited 6.0 s");
}
