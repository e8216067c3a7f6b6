#include "launcher/rules/date_value.h"

#include <gtest/gtest.h>

using vt::launcher::MakeDateValue;

namespace {
double D(int y, int mo, int d, int h = 0, int mi = 0, int s = 0) { return MakeDateValue(y, mo, d, h, mi, s).value(); }
}  // namespace

TEST(DateValue, OleAutomationDays) {
    EXPECT_DOUBLE_EQ(D(1899, 12, 30), 0.0);
    EXPECT_DOUBLE_EQ(D(1900, 1, 1), 2.0);
    EXPECT_DOUBLE_EQ(D(2008, 1, 28), 39475.0);
    EXPECT_DOUBLE_EQ(D(2008, 1, 28, 12), 39475.5);
    EXPECT_DOUBLE_EQ(D(1899, 12, 29, 6), -1.25);  // whole days down, time of day up
}

TEST(DateValue, CarriesInBothDirections) {
    EXPECT_DOUBLE_EQ(D(2008, 13, 1), D(2009, 1, 1));
    EXPECT_DOUBLE_EQ(D(2008, 0, 15), D(2007, 12, 15));
    EXPECT_DOUBLE_EQ(D(2008, -11, 1), D(2007, 1, 1));
    EXPECT_DOUBLE_EQ(D(2008, 3, 0), D(2008, 2, 29));  // leap year
    EXPECT_DOUBLE_EQ(D(2008, 1, 32), D(2008, 2, 1));
    EXPECT_DOUBLE_EQ(D(2008, 1, 28, 24), D(2008, 1, 29));
    EXPECT_DOUBLE_EQ(D(2008, 1, 28, 14, 60), D(2008, 1, 28, 15));
    EXPECT_DOUBLE_EQ(D(2008, 1, 1, 0, -1), D(2007, 12, 31, 23, 59));
}

TEST(DateValue, TwoDigitYearsAndRange) {
    EXPECT_DOUBLE_EQ(D(0, 1, 1), D(2000, 1, 1));
    EXPECT_DOUBLE_EQ(D(29, 6, 1), D(2029, 6, 1));
    EXPECT_DOUBLE_EQ(D(30, 6, 1), D(1930, 6, 1));
    EXPECT_DOUBLE_EQ(D(99, 12, 31), D(1999, 12, 31));
    EXPECT_TRUE(MakeDateValue(100, 1, 1, 0, 0, 0));
    EXPECT_TRUE(MakeDateValue(9999, 12, 31, 23, 59, 59));
    EXPECT_FALSE(MakeDateValue(9999, 12, 31, 24, 0, 0));
    EXPECT_FALSE(MakeDateValue(10000, 1, 1, 0, 0, 0));
    EXPECT_FALSE(MakeDateValue(100, 1, 0, 0, 0, 0));
    EXPECT_FALSE(MakeDateValue(32767, 1, 1, 0, 0, 0));
}

TEST(DateValue, LaterIsGreaterAtTheSecond) {
    EXPECT_LT(D(2008, 1, 28, 14, 29, 59), D(2008, 1, 28, 14, 30, 0));
    EXPECT_LT(D(1899, 12, 29, 23, 59, 59), D(1899, 12, 30));
}

TEST(DateValue, TwoDigitYearsFollowTheSystemsLimit) {
    auto Y = [](int twoDigits, int max) { return MakeDateValue(twoDigits, 1, 1, 0, 0, 0, max).value(); };
    EXPECT_DOUBLE_EQ(Y(29, 2029), D(2029, 1, 1));
    EXPECT_DOUBLE_EQ(Y(30, 2029), D(1930, 1, 1));
    EXPECT_DOUBLE_EQ(Y(49, 2049), D(2049, 1, 1));  // a limit moved by the player
    EXPECT_DOUBLE_EQ(Y(50, 2049), D(1950, 1, 1));
    EXPECT_DOUBLE_EQ(Y(0, 2049), D(2000, 1, 1));
    EXPECT_DOUBLE_EQ(Y(99, 2099), D(2099, 1, 1));
    EXPECT_DOUBLE_EQ(Y(0, 2099), D(2000, 1, 1));
    EXPECT_DOUBLE_EQ(Y(0, 2100), D(2100, 1, 1));
    EXPECT_DOUBLE_EQ(Y(1, 2100), D(2001, 1, 1));
    EXPECT_DOUBLE_EQ(Y(5, 0), D(2005, 1, 1));      // no sensible limit: the default
    EXPECT_DOUBLE_EQ(MakeDateValue(2031, 1, 1, 0, 0, 0, 2049).value(), D(2031, 1, 1));  // four digits stay
}
