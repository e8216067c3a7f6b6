// The whole update's figures: what the run plans to fetch before it
// fetches, the texts after the entry's, the taskbar's share and the log's
// summary.
#include "launcher/rules/update_progress.h"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

using namespace vt::launcher;

namespace {

constexpr std::uint64_t MiB = 1024 * 1024;

SideEntry Released(std::uint64_t size, bool repair = true) {
    SideEntry side;
    side.size = size;
    side.repair = repair;
    return side;
}

}  // namespace

// The entry's rules, without a digest: what the run will fetch is what the
// plan counts, for each kind of entry a list has.
TEST(UpdatePlan, EachEntryIsPlannedAsTheRunWillDecideIt) {
    const DateValue stamp = *MakeDateValue(2008, 1, 28, 14, 30, 0);
    const DateValue older = stamp - 1, newer = stamp + 1;
    const SideEntry side = Released(5 * MiB);
    const AheadFacts missing{};
    const AheadFacts oldCopy{true, older, 3 * MiB};
    const AheadFacts released{true, newer, 5 * MiB};
    const AheadFacts changed{true, newer, 4 * MiB};
    EXPECT_EQ(PlannedBytes(StampKind::Date, stamp, missing, &side), 5 * MiB) << "missing: fetched";
    EXPECT_EQ(PlannedBytes(StampKind::Date, stamp, oldCopy, &side), 5 * MiB) << "older than its stamp: fetched";
    EXPECT_EQ(PlannedBytes(StampKind::Date, stamp, released, &side), 0u) << "up to date: not fetched";
    EXPECT_EQ(PlannedBytes(StampKind::Date, stamp, changed, &side), 5 * MiB) << "another size: repaired";
    const SideEntry kept = Released(5 * MiB, false);
    EXPECT_EQ(PlannedBytes(StampKind::Date, stamp, changed, &kept), 0u) << "kept: never repaired";
    EXPECT_EQ(PlannedBytes(StampKind::Always, 0, released, &side), 0u) << "immer, and it matches: not fetched again";
    EXPECT_EQ(PlannedBytes(StampKind::Always, 0, changed, &side), 5 * MiB);
    EXPECT_EQ(PlannedBytes(StampKind::Always, 0, missing, &side), 5 * MiB);
    EXPECT_EQ(PlannedBytes(StampKind::Unreadable, 0, missing, &side), 0u) << "an unreadable stamp is never fetched";
    EXPECT_EQ(PlannedBytes(StampKind::Date, stamp, missing, nullptr), 0u) << "no side file: no size to plan";
}

// The look ahead plans, the run decides, in any order: each entry counts
// once, and its plan leaves the total when the run has decided on it (its
// fetch counts from then on).
TEST(UpdatePlan, PlansAndDecisionsInAnyOrderCountEachEntryOnce) {
    UpdatePlan plan(4);
    EXPECT_FALSE(plan.Complete());
    plan.Plan(0, 100);
    plan.Plan(1, 200);
    plan.Plan(1, 999);  // asked twice: the first stands
    EXPECT_EQ(plan.Undecided(), 300u);
    plan.Decided(0);
    EXPECT_EQ(plan.Undecided(), 200u);
    plan.Decided(3);    // decided before the look ahead came to it
    plan.Plan(3, 400);  // ... which then changes nothing
    EXPECT_EQ(plan.Undecided(), 200u);
    EXPECT_FALSE(plan.Complete()) << "entry 2 is neither planned nor decided";
    plan.Plan(2, 50);
    EXPECT_TRUE(plan.Complete());
    EXPECT_EQ(plan.Undecided(), 250u);
    plan.Decided(2);
    plan.Decided(2);
    plan.Decided(1);
    EXPECT_EQ(plan.Undecided(), 0u);
    plan.Plan(7, 1);  // past the list: nothing
    EXPECT_EQ(plan.Undecided(), 0u);
}

// Three threads plan while the run decides: whatever the interleaving, the
// undecided bytes end at what was planned and not decided, and every entry
// is covered.
TEST(UpdatePlan, ThreadsPlanningWhileTheRunDecidesLoseNothing) {
    constexpr std::size_t kEntries = 30000;
    UpdatePlan plan(kEntries);
    std::vector<std::thread> threads;
    for (int t = 0; t < 3; ++t)
        threads.emplace_back([&plan, t] {
            for (std::size_t i = static_cast<std::size_t>(t); i < kEntries; i += 3) plan.Plan(i, 10);
        });
    for (std::size_t i = 0; i < kEntries / 2; ++i) plan.Decided(i);
    for (std::thread& thread : threads) thread.join();
    EXPECT_TRUE(plan.Complete());
    EXPECT_EQ(plan.Undecided(), 10u * (kEntries - kEntries / 2));
}

TEST(UpdateFigures, TheWholeUpdateInBytesOfBytesRateAndTimeLeft) {
    const std::uint64_t total = 1230 * MiB + MiB / 2;
    EXPECT_EQ(WholeUpdateFigures(412 * MiB, total, 5 * MiB + MiB / 5), " 412.0 of 1,230.5 MB, 5.2 MB/s, 3 min left");
    EXPECT_EQ(WholeUpdateFigures(412 * MiB, total, 0), " 412.0 of 1,230.5 MB") << "no rate yet: no time left";
    EXPECT_EQ(WholeUpdateFigures(total, total, 5 * MiB), " 1,230.5 of 1,230.5 MB, 5.0 MB/s") << "all here: no time left";
    EXPECT_EQ(WholeUpdateFigures(300 * 1024, 900 * 1024, 100 * 1024), " 300 of 900 KB, 100 KB/s, 6 s left");
    EXPECT_EQ(WholeUpdateFigures(20 * MiB, 18 * MiB, MiB), " 18.0 of 18.0 MB, 1.0 MB/s") << "never more than all";
    EXPECT_EQ(WholeUpdateFigures(0, 0, MiB), "") << "nothing to fetch: no figures";
    // Under MAXRATE=1024 the time left is the bytes left over the limit.
    EXPECT_EQ(WholeUpdateFigures(9 * MiB, 18 * MiB, 1024 * 1024), " 9.0 of 18.0 MB, 1.0 MB/s, 9 s left");
}

TEST(UpdateFigures, WithoutSizesTheEntryOfAllEntriesAndWhatArrived) {
    EXPECT_EQ(EntriesFigures(37, 600, 12 * MiB + 3 * MiB / 10, 1100 * 1024), " 37 of 600 files, 12.3 MB, 1.1 MB/s");
    EXPECT_EQ(EntriesFigures(1, 21, 0, 0), " 1 of 21 files") << "nothing arrived yet";
    EXPECT_EQ(EntriesFigures(1437, 2000, 500 * 1024, 623 * 1024), " 1,437 of 2,000 files, 500 KB, 623 KB/s");
}

// The taskbar's bar never slides back, also when the total grows (a repair
// the look ahead could not see), and is whole only when all is done.
TEST(UpdateFigures, TheTaskbarShareOnlyRises) {
    SteadyShare share;
    EXPECT_EQ(share.Of(0, 0), 0u);
    EXPECT_EQ(share.Of(25, 100), 2500u);
    EXPECT_EQ(share.Of(25, 200), 2500u) << "a larger total does not slide the bar back";
    EXPECT_EQ(share.Of(150, 200), 7500u);
    EXPECT_EQ(share.Of(99999, 100000), SteadyShare::kWhole - 1) << "not whole before the end";
    EXPECT_EQ(share.Of(200, 200), SteadyShare::kWhole);
    // A first install of 2,000 files of 16 KiB, fetched in order: every step rises or stays.
    SteadyShare install;
    std::uint32_t last = 0;
    for (std::uint64_t files = 0; files <= 2000; ++files) {
        const std::uint32_t now = install.Of(files * 16384, 2000 * 16384);
        EXPECT_GE(now, last);
        last = now;
    }
    EXPECT_EQ(last, SteadyShare::kWhole);
}

TEST(UpdateFigures, TheSummarySaysWhatTheUpdateCost) {
    UpdateSummary summary;
    summary.entriesLooked = 21;
    summary.filesFetched = 21;
    summary.networkBytes = 19084532;
    summary.reusedBytes = 0;
    summary.keptBytes = 1048576;
    summary.ms = 17940;
    EXPECT_EQ(SummaryText(summary),
              "21 entries looked at, 21 files fetched, 19,084,532 bytes over the network (18.2 MB), 0 bytes reused "
              "from old copies, 1,048,576 bytes kept from cut bodies, 17.9 s, 1.0 MB/s on average");
    EXPECT_EQ(SummaryText(UpdateSummary{}),
              "0 entries looked at, 0 files fetched, 0 bytes over the network (0 KB), 0 bytes reused from old copies, "
              "0 bytes kept from cut bodies, 0.0 s");
}
