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
