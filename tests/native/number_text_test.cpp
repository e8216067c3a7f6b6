#include "config/number_text.h"

#include <gtest/gtest.h>

using vt::ParseInt16;
using vt::ParseInt32;

TEST(NumberText, AcceptsBlanksSignsAndFractions) {
    EXPECT_EQ(ParseInt32("250"), 250);
    EXPECT_EQ(ParseInt32("  250 "), 250);
    EXPECT_EQ(ParseInt32("+7"), 7);
    EXPECT_EQ(ParseInt32("-7"), -7);
    EXPECT_EQ(ParseInt32("007"), 7);
    EXPECT_EQ(ParseInt32("7."), 7);
    EXPECT_EQ(ParseInt32(".6"), 1);
}

TEST(NumberText, RoundsHalfToEven) {
    EXPECT_EQ(ParseInt16("2.5"), 2);
    EXPECT_EQ(ParseInt16("3.5"), 4);
    EXPECT_EQ(ParseInt16("-2.5"), -2);
    EXPECT_EQ(ParseInt16("-3.5"), -4);
    EXPECT_EQ(ParseInt16("2.50001"), 3);
    EXPECT_EQ(ParseInt16("2.49999"), 2);
    EXPECT_EQ(ParseInt16("0.5"), 0);
}

TEST(NumberText, RejectsWhatIsNotANumber) {
    for (const char* text : {"", " ", "abc", "12a", "1 2", "1e3", "&H10", "1,000", "+", "-", ".", "--1", "1..2", "0x10"})
        EXPECT_FALSE(ParseInt32(text).has_value()) << '"' << text << '"';
}

TEST(NumberText, RangeLimitsAreExact) {
    EXPECT_EQ(ParseInt16("32767"), 32767);
    EXPECT_EQ(ParseInt16("-32768"), -32768);
    EXPECT_FALSE(ParseInt16("32768"));
    EXPECT_FALSE(ParseInt16("32767.5"));  // rounds to 32768
    EXPECT_FALSE(ParseInt16("-32769"));
    EXPECT_EQ(ParseInt32("2147483647"), 2147483647);
    EXPECT_EQ(ParseInt32("-2147483648"), INT32_MIN);
    EXPECT_FALSE(ParseInt32("2147483648"));
    EXPECT_FALSE(ParseInt32("99999999999999999999999999999"));
}

// Past 2^64 a number is too large, never the small number it would wrap to:
// MAXRATE=18446744073709551617 was read as 16 (a limit of 16 KB/s).
TEST(NumberText, NumbersPastSixtyFourBitsAreTooLargeNotWrapped) {
    for (const char* text : {"18446744073709551617", "18446744073709551680", "18446744073709551616.4",
                             "4611686018427387904", "46116860184273879040", "-18446744073709551617"}) {
        SCOPED_TRACE(text);
        EXPECT_FALSE(vt::ParseWholeNumber(text, INT64_MIN + 1, INT64_MAX).has_value());
        EXPECT_FALSE(ParseInt32(text).has_value());
    }
    EXPECT_EQ(vt::ParseWholeNumber("4611686018427387903", 0, INT64_MAX), 4611686018427387903);
}
