#include "launcher/rules/patch_entry.h"

#include <gtest/gtest.h>

#include "launcher/rules/progress_text.h"
#include "launcher/rules/update_progress.h"

using namespace vt::launcher;

namespace {
StampKind Kind(const std::string& stamp, DateValue* out = nullptr) {
    DateValue d = -1;
    const StampKind k = ClassifyStamp(stamp, d);
    if (out) *out = d;
    return k;
}
DateValue At(int y, int mo, int d, int h, int mi) { return MakeDateValue(y, mo, d, h, mi, 0).value(); }
}  // namespace

TEST(PatchEntry, ExactlyThreeFields) {
    EXPECT_FALSE(SplitPatchEntry(""));
    EXPECT_FALSE(SplitPatchEntry("a.txt|a.txt"));
    EXPECT_FALSE(SplitPatchEntry("a.txt|a.txt|immer|x"));
    EXPECT_TRUE(SplitPatchEntry("||"));
}

TEST(PatchEntry, FieldsAreCleaned) {
    const auto e = SplitPatchEntry("maps\\arena.ini\t|DATA\\MAPS\\arena.ini\t|2008-01-28 14:30").value();
    EXPECT_EQ(e.RemotePath, "maps\\arena.ini");
    EXPECT_EQ(e.LocalPath, "DATA\\MAPS\\arena.ini");
    EXPECT_EQ(e.Stamp, "2008-01-28 14:30");
    EXPECT_EQ(SplitPatchEntry("a |sub//dir//b.txt|x").value().LocalPath, "sub\\dir\\b.txt");
    EXPECT_EQ(SplitPatchEntry("a |sub//dir//b.txt|x").value().RemotePath, "a ");  // spaces stay
    EXPECT_EQ(SplitPatchEntry("a|x\\\\\\y|s").value().LocalPath, "x\\\\y");       // one pass
    EXPECT_EQ(SplitPatchEntry("a|b|\t 2008\t").value().Stamp, " 2008");
}

TEST(PatchEntry, FoldersAndStatusText) {
    EXPECT_EQ(EntryFolderPath("C:\\Games\\VT\\", "DATA\\MAPS\\arena.ini"), "C:\\Games\\VT\\DATA\\MAPS\\");
    EXPECT_EQ(EntryFolderPath("C:\\Games\\VT\\", "readme.txt"), "");
    EXPECT_EQ(EntryFolderPath("C:\\Games\\VT\\", "\\x.txt"), "") << "the file lies in AppDir itself";
    EXPECT_EQ(EntryFolderPath("C:\\Games\\VT\\", "..\\DATA\\sub\\..\\x.txt"), "C:\\Games\\VT\\..\\DATA\\")
        << "no folder \"sub\" is made for a file that is not in it";
    EXPECT_EQ(EntryStatusText(7), "DOWNLOADING File 7 ...");
    EXPECT_EQ(EntryStatusText(32767), "DOWNLOADING File 32767 ...");
}

TEST(PatchEntry, UnsafeLocalPathsAreRefused) {
    for (const char* ok : {"readme.txt", "DATA\\MAPS\\a.ini", "..\\EXE\\game.dll", "a\\..\\..\\b", ".\\x", "\\x"})
        EXPECT_TRUE(IsSafeLocalPath(ok)) << ok;
    for (const char* bad : {"C:\\Windows\\x.dll", "C:x", "a.txt:stream", "..\\..\\x", "a\\..\\..\\..\\x", "..\\..\\..\\"})
        EXPECT_FALSE(IsSafeLocalPath(bad)) << bad;
}

TEST(PatchEntry, UncLocalPathsAreRefusedButALeadingSlashStaysInside) {
    for (const char* line : {"a|\\\\server\\share\\x|immer", "a|//server/share/x|immer", "a|\t\\\\srv\\x|immer"}) {
        const auto entry = SplitPatchEntry(line);
        ASSERT_TRUE(entry) << line;
        EXPECT_FALSE(IsSafeEntry(*entry)) << line;
    }
    for (const char* line : {"a|/DATA/x|immer", "a|\\x|immer", "a|DATA//x|immer"}) {
        const auto entry = SplitPatchEntry(line);
        ASSERT_TRUE(entry) << line;
        EXPECT_TRUE(IsSafeEntry(*entry)) << line;
    }
}

// The log's reason for a refused entry: a name Windows cannot have is named
// before a path that leaves the mod (a device name outside is still a device).
TEST(PatchEntry, TheRefusalNamesTheNameBeforeThePath) {
    const auto refusal = [](const char* line) { return EntryRefusal(*SplitPatchEntry(line)); };
    EXPECT_EQ(refusal("a|DATA\\a.ini|immer"), std::nullopt);
    EXPECT_EQ(refusal("a|..\\..\\x.txt|immer"), "the local path leaves the mod's folders: ..\\..\\x.txt");
    EXPECT_EQ(refusal("a|\\\\server\\share\\x|immer"), "the local path leaves the mod's folders: \\server\\share\\x");
    const std::optional<std::string> device = refusal("a|..\\..\\nul.txt|immer");
    ASSERT_TRUE(device);
    EXPECT_EQ(*device, *LocalNameProblem("..\\..\\nul.txt") + ": ..\\..\\nul.txt");
}

TEST(Stamp, KeywordInAnyCaseWithBlanks) {
    EXPECT_EQ(Kind(" IMMER "), StampKind::Always);
    EXPECT_EQ(Kind("Immer"), StampKind::Always);
    EXPECT_EQ(Kind("always"), StampKind::Unreadable);
    EXPECT_EQ(Kind("immer x"), StampKind::Unreadable);
}

TEST(Stamp, DateForms) {
    DateValue d;
    EXPECT_EQ(Kind("2008-01-28 14:30", &d), StampKind::Date);
    EXPECT_DOUBLE_EQ(d, At(2008, 1, 28, 14, 30));
    for (const char* same : {"2008.01.28/14:30", "2008 1 28 14 30", "  2008-01-28 14:30:59", "2008-01-28T14h30 later",
                             "0002008-01-28 14:30"}) {
        EXPECT_EQ(Kind(same, &d), StampKind::Date) << same;
        EXPECT_DOUBLE_EQ(d, At(2008, 1, 28, 14, 30)) << same;
    }
    EXPECT_EQ(Kind("2008-13-01 00:00", &d), StampKind::Date);
    EXPECT_DOUBLE_EQ(d, At(2009, 1, 1, 0, 0));
    EXPECT_EQ(Kind("08-01-28 14:30", &d), StampKind::Date);
    EXPECT_DOUBLE_EQ(d, At(2008, 1, 28, 14, 30));
}

TEST(Stamp, UnreadableDates) {
    for (const char* bad : {"2008-01-28", "20080128 1430", "x2008-01-28 14:30", "", "2008-01-28 14:", "32768-1-1 0:0",
                            "99999-01-01 00:00", "10000-01-01 00:00"})
        EXPECT_EQ(Kind(bad), StampKind::Unreadable) << bad;
}

TEST(Stamp, ValueIsWrittenOnlyOnSuccess) {
    DateValue d = 123.0;
    EXPECT_FALSE(ParseListDate("2008-01-28", d));
    EXPECT_EQ(d, 123.0);
}

TEST(Stamp, DigitHelpers) {
    std::string text = "2008-01", digits = "1";
    TakeDigits(text, digits);
    EXPECT_EQ(digits, "12008");  // appended, not cleared
    EXPECT_EQ(text, "-01");
    SkipNonDigits(text);
    EXPECT_EQ(text, "01");
    text = "\xD9" "5";  // only the ten ASCII digits: a byte above them is no digit
    SkipNonDigits(text);
    EXPECT_EQ(text, "5");
    text = "";
    SkipNonDigits(text);
    TakeDigits(text, digits);
    EXPECT_EQ(digits, "12008");
}

// The names Windows can have no file by, as the launcher and vtlist refuse
// them, and the names it takes for one file.
TEST(LocalNames, DevicesControlCharactersAndReservedCharactersAreProblems) {
    for (const char* bad : {"CON", "con.txt", "maps\\NUL.ini", "Aux .ini", "prn.tar.gz", "COM1", "lpt9.log",
                            "nul\\inner.txt", "a\x1f" "b", "a:b", "x*.txt", "q?", "<a>", "\"q\"", "a|b", "...", " . ",
                            "maps\\a/b.txt"})
        EXPECT_TRUE(LocalNameProblem(bad)) << bad;
    for (const char* good : {"console.txt", "COM0", "com10", "LPT", "connect.ini", "nul_", "..\\DATA\\a.txt",
                             ".\\a.txt", "a.txt.", "C:\\x\\a.txt", "for\xC3\xAAt.ini", "maps\\", ""})
        EXPECT_FALSE(LocalNameProblem(good)) << good << ": " << LocalNameProblem(good).value_or("");
    EXPECT_NE(LocalNameProblem("maps\\nul.txt")->find("\"nul.txt\""), std::string::npos);
}

TEST(LocalNames, TrailingDotsAndBlanksAndCaseMakeOneFile) {
    EXPECT_EQ(WindowsNameKey("a.txt"), WindowsNameKey("A.TXT."));
    EXPECT_EQ(WindowsNameKey("maps\\a.txt"), WindowsNameKey("MAPS. \\a.txt  "));
    EXPECT_EQ(WindowsNameKey("..\\a.txt"), WindowsNameKey("..\\A.txt."));  // ".." itself is kept
    EXPECT_NE(WindowsNameKey("..\\a.txt"), WindowsNameKey("a.txt"));
    EXPECT_NE(WindowsNameKey("a.txt"), WindowsNameKey("a.tx"));
}

// One file under two spellings passed every check, and the launcher fetched
// both at once into one partial file: "." and ".." are resolved before any key.
TEST(LocalNames, DotsAndDotDotsAreResolvedSoOneFileIsOneKey) {
    const std::string key = WindowsNameKey("..\\DATA\\x.txt");
    for (const char* same : {"..\\DATA\\sub\\..\\x.txt", "..\\EXE\\..\\DATA\\x.txt", "..\\DATA\\.\\X.TXT.",
                             ".\\..\\DATA\\\\x.txt", "a\\..\\..\\DATA\\x.txt"})
        EXPECT_EQ(WindowsNameKey(same), key) << same;
    EXPECT_EQ(WindowsNameKey(".\\x.txt"), WindowsNameKey("x.txt"));
    EXPECT_EQ(WindowsNameKey("\\x.txt"), WindowsNameKey("x.txt")) << "a leading backslash is AppDir's own";
    EXPECT_NE(WindowsNameKey("..\\..\\x.txt"), WindowsNameKey("..\\x.txt"));
    EXPECT_EQ(ResolvedLocalPath("maps. \\sub\\..\\a.txt "), "maps\\a.txt");
    EXPECT_EQ(ResolvedLocalPath("maps\\"), "maps\\");
}

TEST(ProgressText, TheTimeLeftIsRoundedUpInSecondsMinutesAndHours) {
    EXPECT_EQ(TimeLeftText(0, 100), "0 s left");
    EXPECT_EQ(TimeLeftText(1, 100), "1 s left");  // a part of a second is a second
    EXPECT_EQ(TimeLeftText(4500, 100), "45 s left");
    EXPECT_EQ(TimeLeftText(5900, 100), "59 s left");
    EXPECT_EQ(TimeLeftText(5901, 100), "1 min left");  // 60 s
    EXPECT_EQ(TimeLeftText(6001, 100), "2 min left");  // 61 s: rounded up
    EXPECT_EQ(TimeLeftText(12 * 60 * 100, 100), "12 min left");
    EXPECT_EQ(TimeLeftText(3599 * 100, 100), "1 h left");  // 59 min 59 s is a whole hour, rounded up
    EXPECT_EQ(TimeLeftText(3601 * 100, 100), "1 h 1 min left");
    EXPECT_EQ(TimeLeftText(65 * 60 * 100, 100), "1 h 5 min left");
    EXPECT_EQ(TimeLeftText(100, 0), "") << "no rate, no figure";
    const std::string longest = TimeLeftText(~std::uint64_t{0}, 1);  // 2^64 - 1 s: 307445734561825861 min
    EXPECT_EQ(longest, "5124095576030431 h 1 min left") << "the largest still reads, rounded up";
}

TEST(ProgressText, TheRecentRateIsTheLastFewSecondsAndFallsInAStall) {
    RecentRate rate;
    rate.Start(1000, 0);
    rate.Held(1200, 100'000);
    EXPECT_EQ(rate.BytesPerSecond(1300), 0u) << "too early to say";
    for (std::uint64_t ms = 1300; ms <= 11000; ms += 100) rate.Held(ms, (ms - 1000) * 100);  // 100 KB/s steady
    EXPECT_EQ(rate.BytesPerSecond(11000), 100'000u);
    // Ten times faster for a second: the recent rate follows within the window ...
    for (std::uint64_t ms = 11100; ms <= 12000; ms += 100) rate.Held(ms, 1'000'000 + (ms - 11000) * 1000);
    const std::uint64_t after = rate.BytesPerSecond(12000);
    EXPECT_GT(after, 250'000u);
    EXPECT_LT(after, 400'000u) << "smoothed over the window, not the last read";
    // ... and a stall of the whole window brings it down.
    EXPECT_LT(rate.BytesPerSecond(22000), after / 2);
    rate.Start(30000, 5);
    EXPECT_EQ(rate.BytesPerSecond(30100), 0u) << "a new attempt starts its own rate";
}

// Fifteen seconds after the last byte the status said "162 KB/s, 45 s left":
// the window must end now, not at the last byte, so a whole window of
// silence is a rate of 0 and no time left at all.
TEST(ProgressText, AfterAWholeWindowOfSilenceTheRateIsZeroAndNoTimeIsLeft) {
    RecentRate rate;
    rate.Start(0, 0);
    for (std::uint64_t ms = 100; ms <= 10000; ms += 100) rate.Held(ms, ms * 162);  // 162 KB/s
    EXPECT_EQ(rate.BytesPerSecond(10000), 162'000u);
    const std::uint64_t halfway = rate.BytesPerSecond(12500);
    EXPECT_GT(halfway, 0u) << "silent for half the window: still some rate";
    EXPECT_LT(halfway, 162'000u) << "silent for half the window: a falling rate";
    EXPECT_EQ(rate.BytesPerSecond(10000 + RecentRate::kWindowMs), 0u);
    EXPECT_EQ(rate.BytesPerSecond(25000), 0u);
    EXPECT_EQ(WholeUpdateFigures(1'620'000, 9'000'000, rate.BytesPerSecond(25000)), " 1.5 of 8.6 MB")
        << "no rate, no time left";
}
