#include "config/text_lines.h"

#include <gtest/gtest.h>

using vt::SplitTextLines;
using Lines = std::vector<std::string>;

TEST(TextLines, CrAndCrLfEndLinesAndAreNotPartOfThem) {
    EXPECT_EQ(SplitTextLines("a\r\nb\r\n"), (Lines{"a", "b"}));
    EXPECT_EQ(SplitTextLines("a\rb\r"), (Lines{"a", "b"}));
    EXPECT_EQ(SplitTextLines("a\rb\r\nc"), (Lines{"a", "b", "c"}));
}

TEST(TextLines, LfEndsALineAsLinuxEditorsWriteIt) {
    EXPECT_EQ(SplitTextLines("a\nb\nc\n"), (Lines{"a", "b", "c"}));
    EXPECT_EQ(SplitTextLines("a\n\r\nb"), (Lines{"a", "", "b"}));  // LF, then CR LF: two ends
    EXPECT_EQ(SplitTextLines("a\n\rb"), (Lines{"a", "", "b"}));      // LF CR is not one end
    EXPECT_EQ(SplitTextLines("a\n\nb"), (Lines{"a", "", "b"}));
    EXPECT_EQ(SplitTextLines("a\r\nb\nc\rd"), (Lines{"a", "b", "c", "d"}));  // mixed in one file
}

TEST(TextLines, EmptyLinesAndTheLastLine) {
    EXPECT_EQ(SplitTextLines(""), Lines{});
    EXPECT_EQ(SplitTextLines("\r\n"), (Lines{""}));
    EXPECT_EQ(SplitTextLines("a\r\r\nb"), (Lines{"a", "", "b"}));
    EXPECT_EQ(SplitTextLines("a\r\n\r\n"), (Lines{"a", ""}));
    EXPECT_EQ(SplitTextLines("last"), (Lines{"last"}));
}

TEST(TextLines, BytesAreKeptAsTheyAre) {
    const std::string text("\xEF\xBB\xBFx\x00y\xE4\r\n", 9);
    const Lines lines = SplitTextLines(text);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0], std::string("\xEF\xBB\xBFx\x00y\xE4", 7));
}
