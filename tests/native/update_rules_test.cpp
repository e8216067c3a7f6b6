#include "launcher/rules/update_rules.h"

#include <gtest/gtest.h>

#include "config/text_lines.h"

using namespace vt;
using namespace vt::launcher;

namespace {

bool PageHasMarker(const std::string& bytes) { return BeginsWithLauncherMarker(SplitTextLines(bytes)); }

}  // namespace

TEST(LauncherMarker, MustStandAtTheVeryStartInAnyCase) {
    EXPECT_TRUE(PageHasMarker("<!-- Vortane Mod Launcher -->\r\n<html>"));
    EXPECT_TRUE(PageHasMarker("<!-- vortane mod launcher -->"));
    EXPECT_TRUE(PageHasMarker("<!-- Vortane Mod Launcher --><html><body>on the same line"));
    EXPECT_FALSE(PageHasMarker("\xEF\xBB\xBF<!-- Vortane Mod Launcher -->"));  // byte-order mark
    EXPECT_FALSE(PageHasMarker(" <!-- Vortane Mod Launcher -->"));
    EXPECT_FALSE(PageHasMarker("\r\n<!-- Vortane Mod Launcher -->"));
    EXPECT_FALSE(PageHasMarker("<html><head><title>Sign on</title>"));
    EXPECT_FALSE(PageHasMarker("<!-- Vortane Mod"));  // shorter than the marker
    EXPECT_FALSE(PageHasMarker(""));
}

TEST(LauncherMarker, ALineEndInsideTheMarkerLengthCountsAsCrLf) {
    // A page split over lines is compared as its rebuilt text, in which every
    // line ends in CR LF: a line end inside the marker never matches.
    EXPECT_FALSE(PageHasMarker("<!-- Vortane\rMod Launcher -->"));
    EXPECT_FALSE(PageHasMarker("<!-- Vortane\nMod Launcher -->"));
}

TEST(LauncherMarker, WhatThePageBeganWithIsLoggedReadably) {
    using vt::launcher::PageBeginningForLog;
    EXPECT_EQ(PageBeginningForLog("<html>Sign on</html>"), "\"<html>Sign on</html>\"");
    EXPECT_EQ(PageBeginningForLog("\xEF\xBB\xBF<!--"), "\"\\xEF\\xBB\\xBF<!--\"");  // a byte-order mark shows
    EXPECT_EQ(PageBeginningForLog("\r\n\"a\\b\""), "\"\\x0D\\x0A\\x22a\\x5Cb\\x22\"");  // quotes stay unambiguous
    EXPECT_EQ(PageBeginningForLog(std::string(41, 'x')), "\"" + std::string(40, 'x') + "\"...");
    EXPECT_EQ(PageBeginningForLog(std::string(40, 'x')), "\"" + std::string(40, 'x') + "\"");
    EXPECT_EQ(PageBeginningForLog(""), "nothing (an empty page)");
}

TEST(PatchList, EntriesAreTheLinesAfterTheHeaderWithSlashesTurned) {
    EXPECT_EQ(PatchListEntries(SplitTextLines("h\r\nA\r\nB")), (std::vector<std::string>{"A", "B"}));
    EXPECT_EQ(PatchListEntries(SplitTextLines("h\r\nmaps/arena.ini|DATA/MAPS/arena.ini|2008/01/28 14:30\r\n")),
              (std::vector<std::string>{"maps\\arena.ini|DATA\\MAPS\\arena.ini|2008\\01\\28 14:30"}));
    EXPECT_TRUE(PatchListEntries(SplitTextLines("")).empty());
    EXPECT_TRUE(PatchListEntries(SplitTextLines("only a header\r\n")).empty());
    // LF-only line ends (a Linux editor's) end lines too.
    EXPECT_EQ(PatchListEntries(SplitTextLines("h\na|a|immer\nb|b|immer\n")), (std::vector<std::string>{"a|a|immer", "b|b|immer"}));
    // A blank last line is an empty entry, which the entry rules reject.
    EXPECT_EQ(PatchListEntries(SplitTextLines("h\r\na|a|immer\r\n\r\n")), (std::vector<std::string>{"a|a|immer", ""}));
    EXPECT_EQ(PatchListEntries(SplitTextLines("h\r\n\r\na|a|immer")), (std::vector<std::string>{"", "a|a|immer"}));
}

TEST(TimeoutTicks, MinutesDoubledOrSixWhenUnusable) {
    EXPECT_EQ(GetTimeoutTicks("3"), 6);
    EXPECT_EQ(GetTimeoutTicks("10"), 20);
    EXPECT_EQ(GetTimeoutTicks("2.5"), 4);  // half to even
    EXPECT_EQ(GetTimeoutTicks("3.5"), 8);
    EXPECT_EQ(GetTimeoutTicks("0"), 0);
    EXPECT_EQ(GetTimeoutTicks("-1"), -2);
    EXPECT_EQ(GetTimeoutTicks("16383"), 32766);
    EXPECT_EQ(GetTimeoutTicks("16384"), 6);   // the double does not fit
    EXPECT_EQ(GetTimeoutTicks("20000"), 6);
    EXPECT_EQ(GetTimeoutTicks("40000"), 6);   // the number does not fit
    EXPECT_EQ(GetTimeoutTicks("-16384"), -32768);
    EXPECT_EQ(GetTimeoutTicks("-16385"), 6);
    EXPECT_EQ(GetTimeoutTicks("ten"), 6);
    EXPECT_EQ(GetTimeoutTicks(""), 6);
}

TEST(TimeoutTicks, CountingDownNeverWraps) {
    EXPECT_EQ(LowerTicksLeft(6), 5);
    EXPECT_EQ(LowerTicksLeft(0), -1);
    EXPECT_EQ(LowerTicksLeft(-32767), -32768);
    EXPECT_EQ(LowerTicksLeft(-32768), -32768);  // still <= 0: the next run starts
}

TEST(Endings, TextsNameTheirCodes) {
    EXPECT_STREQ(EndingStatusText(RunEnding::Done), "Done.");
    EXPECT_STREQ(EndingStatusText(RunEnding::E1), "Vortane Update not found ... only Singleplayer available [E1]");
    EXPECT_STREQ(EndingStatusText(RunEnding::E12), "Vortane Update not found ... only Singleplayer available [E12]");
    EXPECT_STREQ(LaunchProblemText(true), "Problem starting Skyreach ... [E9]");
    EXPECT_STREQ(LaunchProblemText(false), "Problem starting Skyreach ... [E10]");
}

TEST(StarterCommand, QuotedPathBlankAndModeWord) {
    EXPECT_EQ(StarterCommandLine("C:\\Games\\Mod\\", "vtwd.exe", true), "\"C:\\Games\\Mod\\vtwd.exe\" MULTI");
    EXPECT_EQ(StarterCommandLine("C:\\My Games\\Mod\\", "bin\\vtwd.exe", false),
              "\"C:\\My Games\\Mod\\bin\\vtwd.exe\" SINGLE");
}
