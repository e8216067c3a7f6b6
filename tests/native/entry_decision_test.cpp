// When an entry's file is fetched: the date rule, and what a side file
// changes about it.
#include "launcher/rules/entry_decision.h"

#include <gtest/gtest.h>

namespace vt::launcher {
namespace {

constexpr DateValue kListDate = 45000.5;

TEST(EntryDecision, TheDateRuleFetchesAlwaysMissingAndStrictlyOlderFilesOnly) {
    EXPECT_TRUE(DecideByDate(StampKind::Always, "immer", 0, kListDate + 10).needed);
    const EntryDecision unreadable = DecideByDate(StampKind::Unreadable, "soon", 0, std::nullopt);
    EXPECT_FALSE(unreadable.needed);  // not even a missing file
    EXPECT_EQ(unreadable.why, "stamp \"soon\" cannot be read, not fetched");

    EXPECT_EQ(DecideByDate(StampKind::Date, "", kListDate, std::nullopt).why, "missing");
    EXPECT_TRUE(DecideByDate(StampKind::Date, "", kListDate, std::nullopt).needed);
    EXPECT_TRUE(DecideByDate(StampKind::Date, "", kListDate, kListDate - 1.0 / 86400).needed);
    EXPECT_FALSE(DecideByDate(StampKind::Date, "", kListDate, kListDate).needed);  // the same second is up to date
    EXPECT_EQ(DecideByDate(StampKind::Date, "", kListDate, kListDate + 1).why, "up to date");
}

TEST(EntryDecision, TheSideFileSkipsAMatchingImmerAndRepairsADifferingDatedFile) {
    int asked = 0;
    auto same = [&] { ++asked; return true; };
    auto differs = [&] { ++asked; return false; };
    const EntryDecision always = DecideByDate(StampKind::Always, "immer", 0, std::nullopt);
    EXPECT_FALSE(WithSideFile(always, true, same).needed);
    EXPECT_TRUE(WithSideFile(always, true, differs).needed);
    EXPECT_FALSE(WithSideFile(always, true, differs).repairing);

    const EntryDecision upToDate = DecideByDate(StampKind::Date, "", kListDate, kListDate + 1);
    const EntryDecision repaired = WithSideFile(upToDate, true, differs);
    EXPECT_TRUE(repaired.needed);
    EXPECT_TRUE(repaired.repairing);
    EXPECT_EQ(repaired.why, "up to date by its stamp, but it differs from the side file: repairing");
    EXPECT_FALSE(WithSideFile(upToDate, false, differs).needed);  // "keep": the player's changes stay
    EXPECT_FALSE(WithSideFile(upToDate, true, same).needed);

    // The digest is read only where it can change the answer: a file that is
    // fetched anyway by its date, or never by its stamp, is not read.
    asked = 0;
    EXPECT_TRUE(WithSideFile(DecideByDate(StampKind::Date, "", kListDate, std::nullopt), true, same).needed);
    EXPECT_TRUE(WithSideFile(DecideByDate(StampKind::Date, "", kListDate, kListDate - 1), true, same).needed);
    EXPECT_FALSE(WithSideFile(DecideByDate(StampKind::Unreadable, "x", 0, kListDate), true, differs).needed);
    EXPECT_EQ(asked, 0);
}

}  // namespace
}  // namespace vt::launcher
