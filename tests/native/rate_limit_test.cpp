// The speed limit's rules: the key's values, fewer fetches under a low
// limit, and the bucket that holds the limit over time.
#include "launcher/rules/rate_limit.h"

#include <gtest/gtest.h>

using namespace vt::launcher;

TEST(RateLimit, TheKeyIsKilobytesASecondWithAFloorAndNoLimitForNothing) {
    EXPECT_EQ(MaxRateBytesPerSecond(""), 0u);
    EXPECT_EQ(MaxRateBytesPerSecond("0"), 0u);
    EXPECT_EQ(MaxRateBytesPerSecond("fast"), 0u);
    EXPECT_EQ(MaxRateBytesPerSecond("-5"), 0u);
    EXPECT_EQ(MaxRateBytesPerSecond("1e3"), 0u) << "UPDATE.CFG's numbers have no exponents";
    EXPECT_EQ(MaxRateBytesPerSecond("512"), 512u * 1024);
    EXPECT_EQ(MaxRateBytesPerSecond(" 512.5 "), 512u * 1024) << "a half to the even neighbour";
    EXPECT_EQ(MaxRateBytesPerSecond("3"), 16u * 1024) << "under 16 counts as 16";
    EXPECT_EQ(MaxRateBytesPerSecond("0.6"), 16u * 1024) << "rounded to 1, then the floor";
    EXPECT_EQ(MaxRateBytesPerSecond("99999999999"), 0u) << "beyond any line is no number";
}

TEST(RateLimit, ALowLimitMeansFewerFetchesAndSmallerReads) {
    EXPECT_EQ(FetchesAtOnceWithin(6, 0), 6);
    EXPECT_EQ(FetchesAtOnceWithin(6, 16 * 1024), 1);
    EXPECT_EQ(FetchesAtOnceWithin(6, 100 * 1024), 3);
    EXPECT_EQ(FetchesAtOnceWithin(6, 8192 * 1024), 6);
    EXPECT_EQ(FetchesAtOnceWithin(1, 8192 * 1024), 1);
    EXPECT_EQ(ReadSizeWithin(16 * 1024), 2048u);
    EXPECT_EQ(ReadSizeWithin(1024), 1024u);
    EXPECT_EQ(ReadSizeWithin(512 * 1024), 64u * 1024);
    EXPECT_EQ(ReadSizeWithin(8192 * 1024), 1024u * 1024) << "a high limit reads as fast as none";
    EXPECT_EQ(ReadSizeWithin(100u * 1024 * 1024), 1024u * 1024);
}

// A limit of 50 MB/s gave 18: the bucket held two 64 KiB reads (2.5 ms at
// that rate), so every nap of the waiting fetches overflowed it. Sized in
// time, naps of up to 50 ms (and longer, as the system grants them) lose
// nothing, at any limit.
TEST(RateLimit, NapsLongerThanAReadLoseNothingOfAHighLimit) {
    for (const std::uint64_t rate : {20u * 1024 * 1024, 50u * 1024 * 1024, 100u * 1024 * 1024}) {
        SCOPED_TRACE(rate);
        TokenBucket bucket(rate, 0);
        std::uint64_t got = 0, ms = 0;
        for (int nap = 0; nap < 200; ++nap) {  // ten seconds of 50 ms naps, each read taking all it may
            ms += 50;
            for (std::uint64_t granted; (granted = bucket.Take(ms, ReadSizeWithin(rate))) > 0;) got += granted;
        }
        EXPECT_GE(got, 10 * rate - ReadSizeWithin(rate)) << "the limit was lost to the naps";
        EXPECT_LE(got, 10 * rate);
        EXPECT_EQ(BucketBytes(rate), rate / 16);
    }
}

TEST(RateLimit, TheBucketHoldsTheLimitOverTimeWithASmallBurst) {
    const std::uint64_t rate = 100 * 1024;
    TokenBucket bucket(rate, 0);
    EXPECT_EQ(bucket.Take(0, 4096), 0u) << "it starts empty: never above the limit on average";
    EXPECT_EQ(bucket.MsUntil(0, 4096), 10u) << "1 KiB at 100 KiB/s";
    // Greedy readers for a minute, a read every millisecond: what they get
    // is the limit a second.
    std::uint64_t got = 0;
    for (std::uint64_t ms = 1; ms <= 60000; ++ms) got += bucket.Take(ms, 64 * 1024);
    EXPECT_GE(got, 60 * rate - 1024);
    EXPECT_LE(got, 60 * rate);
    // Any 2 s window: at most 2 s' worth while readers keep it empty ...
    std::uint64_t window = 0;
    for (std::uint64_t ms = 60001; ms <= 62000; ++ms) window += bucket.Take(ms, 64 * 1024);
    EXPECT_LE(window, 2 * rate);
    // ... and after a long pause a sixteenth of a second's worth at once, never more.
    EXPECT_EQ(bucket.Take(1000000, 100 * rate), BucketBytes(rate));
    EXPECT_EQ(BucketBytes(rate), rate / 16);
    bucket.GiveBack(10 * rate);
    EXPECT_EQ(bucket.Take(1000000, 100 * rate), BucketBytes(rate)) << "what comes back never overfills it";
}

TEST(RateLimit, ReadsAreNotCutIntoCrumbs) {
    TokenBucket bucket(16 * 1024, 0);
    ASSERT_EQ(bucket.Take(0, 1), 0u);
    ASSERT_EQ(bucket.Take(5000, 64 * 1024), 2u * 1024) << "a long pause fills it to two grants' worth";
    EXPECT_EQ(bucket.Take(5010, 2048), 0u) << "160 bytes' worth is no piece to read";
    EXPECT_EQ(bucket.Take(5063, 2048), 1032u) << "a KiB is (63 ms at 16 KiB/s)";
    EXPECT_EQ(bucket.Take(5064, 100), 0u);
    EXPECT_EQ(bucket.Take(5070, 100), 100u) << "a small want needs no more than itself";
}

// A limit past 64 bits is no limit, never the small one it would wrap to.
TEST(RateLimit, ALimitPastSixtyFourBitsIsNoLimitNotSixteen) {
    EXPECT_EQ(vt::launcher::MaxRateBytesPerSecond("18446744073709551617"), 0u);
    EXPECT_EQ(vt::launcher::MaxRateBytesPerSecond("18446744073709551680"), 0u);
}
