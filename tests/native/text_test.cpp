#include "config/text.h"

#include <gtest/gtest.h>

TEST(Text, LetterCaseIsAsciiOnly) {
    EXPECT_EQ(vt::ToAsciiUpper("immer Zz09"), "IMMER ZZ09");
    EXPECT_EQ(vt::ToAsciiLower("IMMER Zz09"), "immer zz09");
    EXPECT_EQ(vt::ToAsciiUpper("\xE4\xC4"), "\xE4\xC4");  // bytes beyond ASCII stay as they are
    EXPECT_TRUE(vt::EqualsIgnoringAsciiCase("HTTPS", "https"));
    EXPECT_FALSE(vt::EqualsIgnoringAsciiCase("https", "http"));
    EXPECT_FALSE(vt::EqualsIgnoringAsciiCase("\xE4", "\xC4"));
    EXPECT_FALSE(vt::EqualsIgnoringAsciiCase("[", "{"));  // 0x5B and 0x7B differ by 0x20 but are no letters
}

TEST(Text, TrimTakesOnlyTheGivenBlanksFromTheEnds) {
    EXPECT_EQ(vt::Trim(" \t a b \t "), "a b");
    EXPECT_EQ(vt::Trim(" \ta ", " "), "\ta");  // list fields trim spaces alone
    EXPECT_EQ(vt::Trim("   "), "");
    EXPECT_EQ(vt::Trim(""), "");
    EXPECT_EQ(vt::Trim("x"), "x");
}
