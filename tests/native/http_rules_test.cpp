// What a server says about ranges, waits and validators is hostile text.
#include "launcher/rules/http_rules.h"

#include <gtest/gtest.h>

#include "launcher/rules/update_rules.h"

namespace vt::launcher {
namespace {

TEST(ContentRange, ReadsTheRangeAndTheWhole) {
    const auto range = ParseContentRange("bytes 100-199/200");
    ASSERT_TRUE(range);
    EXPECT_EQ(range->first, 100u);
    EXPECT_EQ(range->last, 199u);
    EXPECT_EQ(range->total, 200u);
    const auto unknown = ParseContentRange(" bytes 0-9/* ");
    ASSERT_TRUE(unknown);
    EXPECT_FALSE(unknown->total);
}

TEST(ContentRange, RefusesWhatDoesNotAddUp) {
    for (const char* text : {"", "bytes", "bytes */200", "items 0-1/2", "bytes 5-4/10", "bytes 0-10/10", "bytes -1-2/3",
                             "bytes 0-1/2x", "bytes 1+1-2/3", "bytes 0-99999999999999999999/1", "Bytes 0-1/2",
                             "bytes 0-1 /2"})
        EXPECT_FALSE(ParseContentRange(text)) << text;
}

TEST(ContentRange, OnlyTheRestOfTheSameWholeContinues) {
    const ContentRange rest{100, 199, 200};
    EXPECT_TRUE(RangeContinues(rest, 100, 100, std::nullopt));
    EXPECT_TRUE(RangeContinues(rest, 100, 100, 200));
    EXPECT_FALSE(RangeContinues(rest, 99, 100, 200));   // not where we stopped
    EXPECT_FALSE(RangeContinues(rest, 100, 99, 200));   // length disagrees
    EXPECT_FALSE(RangeContinues(rest, 100, 100, 300));  // the whole changed size
    EXPECT_FALSE(RangeContinues(ContentRange{100, 150, 200}, 100, 51, 200));  // not up to the end
    EXPECT_FALSE(RangeContinues(ContentRange{100, 199, std::nullopt}, 100, 100, 200));
}

TEST(RetryAfter, SecondsAndDates) {
    EXPECT_EQ(ParseRetryAfterSeconds("3", 0), 3u);
    EXPECT_EQ(ParseRetryAfterSeconds(" 0 ", 0), 0u);
    EXPECT_EQ(ParseRetryAfterSeconds("123456789012345678901234", 0), ~std::uint64_t{0});  // very long, still long
    const std::int64_t date = *ParseHttpDate("Sun, 06 Nov 1994 08:49:37 GMT");
    EXPECT_EQ(date, 784111777);
    EXPECT_EQ(ParseRetryAfterSeconds("Sun, 06 Nov 1994 08:49:37 GMT", date - 5), 5u);
    EXPECT_EQ(ParseRetryAfterSeconds("Sun, 06 Nov 1994 08:49:37 GMT", date + 5), 0u);  // the past: at once
    for (const char* text : {"", "-1", "1.5", "soon", "3 s", "Sun, 06 Nov 1994 08:49:37 UTC", "Sun, 31 Feb 1994 08:49:37 GMT",
                             "Sun, 06 Nov 1994 24:49:37 GMT", "Sun, 06 Xyz 1994 08:49:37 GMT"})
        EXPECT_FALSE(ParseRetryAfterSeconds(text, 0)) << text;
}

TEST(HttpDate, LeapDaysAndEpoch) {
    EXPECT_EQ(ParseHttpDate("Thu, 01 Jan 1970 00:00:00 GMT"), 0);
    EXPECT_EQ(ParseHttpDate("Tue, 29 Feb 2000 00:00:00 GMT"), 951782400);
    EXPECT_FALSE(ParseHttpDate("Thu, 29 Feb 1900 00:00:00 GMT"));
}

TEST(ResumeRecord, RoundTripsAndRefusesDamage) {
    const ResumeRecord record{"http://127.0.0.1:8080/VTupdates/big.pak", "\"5f-a1\"", 123456789};
    const std::string text = FormatResumeRecord(record);
    const auto back = ParseResumeRecord(text);
    ASSERT_TRUE(back);
    EXPECT_EQ(back->url, record.url);
    EXPECT_EQ(back->validator, record.validator);
    EXPECT_EQ(back->total, record.total);
    EXPECT_FALSE(ParseResumeRecord(text.substr(0, text.size() - 1)));      // cut
    EXPECT_FALSE(ParseResumeRecord(text + "x"));                            // more
    EXPECT_FALSE(ParseResumeRecord("VTRESUME 2" + text.substr(10)));        // another version
    EXPECT_FALSE(ParseResumeRecord(FormatResumeRecord({"u", "W/\"weak\"", 1})));
    EXPECT_FALSE(ParseResumeRecord(FormatResumeRecord({"u", "a\nb", 1})));  // a header could be smuggled
    EXPECT_FALSE(ParseResumeRecord(FormatResumeRecord({"u", std::string(300, 'x'), 1})));
    EXPECT_FALSE(ParseResumeRecord("VTRESUME 1\r\nhttp://x/\r\n\"e\"\r\n0123\r\n"));  // found by the fuzzer
}

TEST(FetchesAtOnce, DefaultBoundsAndRounding) {
    EXPECT_EQ(FetchesAtOnce(""), 6);
    EXPECT_EQ(FetchesAtOnce("many"), 6);
    EXPECT_EQ(FetchesAtOnce("1"), 1);
    EXPECT_EQ(FetchesAtOnce("0"), 1);
    EXPECT_EQ(FetchesAtOnce("-3"), 1);
    EXPECT_EQ(FetchesAtOnce("2.5"), 2);  // the config's rounding, half to even
    EXPECT_EQ(FetchesAtOnce("99"), 16);
    EXPECT_EQ(FetchesAtOnce("99999999999999999999"), 6);
}

}  // namespace
}  // namespace vt::launcher
