// What a server says about ranges, waits and validators is hostile text.
#include "launcher/rules/http_rules.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "launcher/rules/content_sum.h"
#include "launcher/rules/internet_errors.h"
#include "launcher/rules/url_path.h"
#include "launcher/rules/side_file.h"
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

// A request's own Range header, however it is written, and no other.
TEST(RequestHeaders, ARangeLineIsFoundInAnyCaseAndOnlyAsAHeaderName) {
    EXPECT_TRUE(HasHeader("Range: bytes=0-9\r\n", "Range"));
    EXPECT_TRUE(HasHeader("Cache-Control: no-cache\r\nrange : bytes=0-9\r\n", "Range"));
    EXPECT_TRUE(HasHeader("RANGE:bytes=1-2", "Range"));  // the last line without its CR LF
    EXPECT_FALSE(HasHeader("", "Range"));
    EXPECT_FALSE(HasHeader("If-Range: \"v1\"\r\n", "Range"));
    EXPECT_FALSE(HasHeader("X-Note: Range: bytes=0-9\r\n", "Range"));
    EXPECT_FALSE(HasHeader("Ranges: bytes\r\nno colon Range\r\n", "Range"));
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
    ResumeRecord record{"http://127.0.0.1:8080/VTupdates/big.pak", "\"5f-a1\"", 123456789, 4194304, {}};
    for (std::size_t i = 0; i < record.keptSum.size(); ++i) record.keptSum[i] = static_cast<std::uint8_t>(i * 37);
    const std::string text = FormatResumeRecord(record);
    const auto back = ParseResumeRecord(text);
    ASSERT_TRUE(back);
    EXPECT_EQ(back->url, record.url);
    EXPECT_EQ(back->validator, record.validator);
    EXPECT_EQ(back->total, record.total);
    EXPECT_EQ(back->kept, record.kept);
    EXPECT_EQ(back->keptSum, record.keptSum);
    EXPECT_FALSE(ParseResumeRecord(text.substr(0, text.size() - 1)));      // cut
    EXPECT_FALSE(ParseResumeRecord(text + "x"));                            // more
    EXPECT_FALSE(ParseResumeRecord("VTRESUME 3" + text.substr(10)));        // another version
    // A record of the first version trusted any length the partial file had.
    EXPECT_FALSE(ParseResumeRecord("VTRESUME 1\r\nhttp://x/\r\n\"e\"\r\n123\r\n"));
    record.kept = record.total;  // the whole is no partial file
    EXPECT_FALSE(ParseResumeRecord(FormatResumeRecord(record)));
    std::string upper = text;
    for (std::size_t at = upper.rfind("\r\n", upper.size() - 3) + 2; at < upper.size(); ++at)
        if (upper[at] >= 'a' && upper[at] <= 'f') upper[at] = static_cast<char>(upper[at] - 'a' + 'A');
    EXPECT_FALSE(ParseResumeRecord(upper)) << "one spelling of the digest";
    EXPECT_FALSE(ParseResumeRecord(FormatResumeRecord({"u", "W/\"weak\"", 1})));
    EXPECT_FALSE(ParseResumeRecord(FormatResumeRecord({"u", "a\nb", 1})));  // a header could be smuggled
    EXPECT_FALSE(ParseResumeRecord(FormatResumeRecord({"u", std::string(300, 'x'), 1})));
    EXPECT_FALSE(ParseResumeRecord("VTRESUME 1\r\nhttp://x/\r\n\"e\"\r\n0123\r\n"));  // found by the fuzzer
}

// A 206 is appended only when it is of the version the If-Range named.
TEST(AnswerHasValidator, TheSentValidatorMustComeBack) {
    EXPECT_TRUE(AnswerHasValidator("\"v1\"", "\"v1\"", ""));
    EXPECT_TRUE(AnswerHasValidator("\"v1\"", " \"v1\" ", "Mon, 28 Jan 2008 14:30:00 GMT"));
    EXPECT_FALSE(AnswerHasValidator("\"v1\"", "\"v2\"", ""));  // a server that ignores If-Range
    EXPECT_FALSE(AnswerHasValidator("\"v1\"", "", "Mon, 28 Jan 2008 14:30:00 GMT"));
    EXPECT_FALSE(AnswerHasValidator("\"v1\"", "W/\"v1\"", ""));
    EXPECT_TRUE(AnswerHasValidator("Mon, 28 Jan 2008 14:30:00 GMT", "\"x\"", "Mon, 28 Jan 2008 14:30:00 GMT"));
    EXPECT_FALSE(AnswerHasValidator("Mon, 28 Jan 2008 14:30:00 GMT", "", "Tue, 29 Jan 2008 14:30:00 GMT"));
    EXPECT_FALSE(AnswerHasValidator("", "", ""));
}

TEST(ResolveRedirect, EveryFormOfLocation) {
    const std::string base = "http://127.0.0.1:8080/VTupdates/maps/arena.ini?x=1";
    EXPECT_EQ(ResolveRedirect(base, "https://cdn.example/a b"), std::nullopt);  // a blank is never sent on
    EXPECT_EQ(ResolveRedirect(base, "https://cdn.example/a%20b"), "https://cdn.example/a%20b");
    EXPECT_EQ(ResolveRedirect(base, "HTTP://Mirror:81/x"), "HTTP://Mirror:81/x");
    EXPECT_EQ(ResolveRedirect(base, "//mirror/x"), "http://mirror/x");
    EXPECT_EQ(ResolveRedirect(base, "/other/y.ini"), "http://127.0.0.1:8080/other/y.ini");
    EXPECT_EQ(ResolveRedirect(base, "y.ini"), "http://127.0.0.1:8080/VTupdates/maps/y.ini");
    EXPECT_EQ(ResolveRedirect("https://h", "y"), "https://h/y");
    EXPECT_EQ(ResolveRedirect(base, " /padded "), "http://127.0.0.1:8080/padded");
    for (const char* refused : {"", "ftp://h/x", "file:///c:/x", "mailto:a@b", "javascript:alert(1)", "http://",
                                "//", "/a\r\nSet-Cookie: x", "/\x7f"})
        EXPECT_EQ(ResolveRedirect(base, refused), std::nullopt) << refused;
    EXPECT_EQ(ResolveRedirect("not a url", "/x"), std::nullopt);
    EXPECT_EQ(ResolveRedirect(base, std::string(5000, 'a')), std::nullopt);
}

TEST(ResolveRedirect, OnlyRedirectStatusesAreFollowed) {
    for (unsigned status : {301u, 302u, 303u, 307u, 308u}) EXPECT_TRUE(IsRedirectStatus(status)) << status;
    for (unsigned status : {200u, 300u, 304u, 305u, 306u, 309u, 0u}) EXPECT_FALSE(IsRedirectStatus(status)) << status;
}

// The resume record's checksum: the same in pieces as whole, readable at any
// point without ending the sum, and XXH3-128's own value for a known input.
TEST(ContentSum, PiecesWholeAndAsItGoes) {
    const ContentDigest empty = ContentSumOf("", 0);
    EXPECT_EQ(ToHex(empty.data(), empty.size()), "99aa06d3014798d86001c324468d497f");
    std::string bytes(300000, '\0');
    for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>((i * 7 + i / 1000) & 0xff);
    ContentSum sum;
    sum.Add(bytes.data(), 1000);
    EXPECT_EQ(sum.Digest(), ContentSumOf(bytes.data(), 1000));
    sum.Add(bytes.data() + 1000, bytes.size() - 1000);
    EXPECT_EQ(sum.Digest(), ContentSumOf(bytes.data(), bytes.size()));
    std::string zeroed = bytes;
    std::fill(zeroed.begin() + 4096, zeroed.begin() + 8192, '\0');
    EXPECT_NE(ContentSumOf(zeroed.data(), zeroed.size()), sum.Digest());
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

TEST(InternetErrors, TheLogGivesTheNumberAndWhatItMeans) {
    using vt::launcher::InternetErrorText;
    EXPECT_EQ(InternetErrorText("cannot connect", 12029),
              "cannot connect (WinINet error 12029: could not connect to the server)");
    EXPECT_EQ(InternetErrorText("request failed", 12007).find("(WinINet error 12007: the server's name could not be found"), 15u);
    EXPECT_EQ(InternetErrorText("request failed", 12999), "request failed (WinINet error 12999)");  // no words: the number alone
}

TEST(UrlPath, ListPathsAreEncodedAsRfc3986Says) {
    using vt::launcher::EncodeUrlPath;
    EXPECT_EQ(EncodeUrlPath("maps\\arena.ini"), "maps/arena.ini");
    EXPECT_EQ(EncodeUrlPath("maps\\for\xC3\xAAt du nord.ini"), "maps/for%C3%AAt%20du%20nord.ini");
    EXPECT_EQ(EncodeUrlPath("\xE6\xB8\xB8\xE6\x88\x8F/\xF0\x9F\x8E\xAE.pak"), "%E6%B8%B8%E6%88%8F/%F0%9F%8E%AE.pak");
    EXPECT_EQ(EncodeUrlPath("a#b\"c<d>e|f^g`h{i}j[k]l"), "a%23b%22c%3Cd%3Ee%7Cf%5Eg%60h%7Bi%7Dj%5Bk%5Dl");
    EXPECT_EQ(EncodeUrlPath("-._~!$&'()*+,;=:@"), "-._~!$&'()*+,;=:@");  // what a segment carries as it is
    EXPECT_EQ(EncodeUrlPath("news.php?lang=de"), "news.php?lang=de");      // a query, as such lists meant it
    EXPECT_EQ(EncodeUrlPath("forest%20north.ini"), "forest%20north.ini");  // already encoded: kept
    EXPECT_EQ(EncodeUrlPath("100%.txt"), "100%25.txt");
    EXPECT_EQ(EncodeUrlPath("a%2"), "a%252");
    EXPECT_EQ(EncodeUrlPath(std::string("a\0b", 3)), "a%00b");
}
