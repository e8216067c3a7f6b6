#include "starter/start_rules.h"
#include "platform/text.h"

#include <gtest/gtest.h>

#include <cstdint>

using namespace vt::starter;

TEST(StartRules, ModeWord) {
    EXPECT_EQ(ParseSingleMode("  multi "), false);
    EXPECT_EQ(ParseSingleMode("Single"), true);
    EXPECT_EQ(ParseSingleMode("MULTI"), false);
    for (const char* refused : {"", "   ", "MULTI SINGLE", "-MULTI", "MULTI X", "multiplayer", "\"MULTI\""})
        EXPECT_FALSE(ParseSingleMode(refused).has_value()) << refused;
}

TEST(StartRules, BackupFilesInEverySpelling) {
    EXPECT_TRUE(IsBackupFile("x.srmmbak"));
    EXPECT_TRUE(IsBackupFile("Y.SRMMBAK"));
    EXPECT_TRUE(IsBackupFile("srmmbak"));
    EXPECT_TRUE(IsBackupFile("C:\\G\\EXE\\a.b.SrMmBaK"));
    EXPECT_FALSE(IsBackupFile("x.srmmbak.txt"));
    EXPECT_FALSE(IsBackupFile("x.srmmbakx"));
    EXPECT_FALSE(IsBackupFile("C:\\G\\EXE\\srmmbak.exe"));
    EXPECT_FALSE(IsBackupFile("C:\\G\\srmmbak"));  // a whole path without a point is not the bare word
}

TEST(StartRules, GameCommandLine) {
    EXPECT_EQ(BuildGameCommandLine("C:\\Games\\SR\\EXE2\\Skyreach.exe", "-s1.2.3.4:2302"),
              "\"C:\\Games\\SR\\EXE2\\Skyreach.exe\" -s1.2.3.4:2302");
    EXPECT_EQ(BuildGameCommandLine("C:\\My Games\\g.exe", ""), "\"C:\\My Games\\g.exe\" ");
    EXPECT_EQ(BuildGameCommandLine("a\"b", "x \"y\""), "\"a\"b\" x \"y\"");
    EXPECT_EQ(vt::FolderOf("C:\\Games\\SR\\EXE2\\Skyreach.exe"), "C:\\Games\\SR\\EXE2\\");
    EXPECT_EQ(vt::FolderOf("game.exe"), "");
}

TEST(StartRules, RootsAreNeverTrees) {
    for (const char* root : {"", "C:", "C:\\", "c:\\\\", "C:\\x\\..", "\\\\server\\share", "\\\\server\\share\\"})
        EXPECT_TRUE(IsRootOrEmpty(root)) << root;
    EXPECT_FALSE(IsRootOrEmpty("C:\\EXE2\\"));
    EXPECT_FALSE(IsRootOrEmpty("\\\\server\\share\\EXE2"));
}

TEST(StartRules, SrNameIsAFileNameAlone) {
    for (const char* good : {"Skyreach.exe", "Sky reach.exe", "game", "a.b.c"})
        EXPECT_EQ(SrNameRefusal(good), "") << good;
    for (const char* bad : {"..\\..\\somewhere\\file.txt", "sub\\game.exe", "sub/game.exe", "C:game.exe",
                            "game.exe:stream", "..", "a..b", "", "   "})
        EXPECT_NE(SrNameRefusal(bad), "") << bad;
}

TEST(StartRules, DelayIsBoundedToAMinuteAndNegativeMeansNone) {
    EXPECT_EQ(EffectiveDelayMs(1000), 1000u);
    EXPECT_EQ(EffectiveDelayMs(0), 0u);
    EXPECT_EQ(EffectiveDelayMs(-1), 0u);
    EXPECT_EQ(EffectiveDelayMs(INT32_MIN), 0u);
    EXPECT_EQ(EffectiveDelayMs(60000), 60000u);
    EXPECT_EQ(EffectiveDelayMs(60001), 60000u);
    EXPECT_EQ(EffectiveDelayMs(INT32_MAX), 60000u);
}

TEST(StartRules, CloneMarkerRoundTripsAndRefusesEverythingElse) {
    const CloneMarker marker{0x5A00C0DEu, 0x00000000A7211EF0ull};
    const std::string text = CloneMarkerText(marker);
    EXPECT_EQ(text, "vtwd.exe clone 1\r\nvolume=5A00C0DE\r\nindex=00000000A7211EF0\r\n");
    ASSERT_TRUE(ParseCloneMarker(text).has_value());
    EXPECT_EQ(*ParseCloneMarker(text), marker);
    const CloneMarker extreme{0xFFFFFFFFu, 0xFFFFFFFFFFFFFFFFull};
    EXPECT_EQ(ParseCloneMarker(CloneMarkerText(extreme)), extreme);

    for (std::string bad : {std::string(), std::string("vtwd.exe clone 1\r\n"), text.substr(0, text.size() - 1),
                            text + "x", "vtwd.exe clone 2" + text.substr(16)}) {
        EXPECT_FALSE(ParseCloneMarker(bad).has_value()) << bad;
    }
    std::string lower = text;
    lower[text.find("5A")] = 'a';  // only the form the starter writes
    EXPECT_FALSE(ParseCloneMarker(lower).has_value());
    std::string garbled = text;
    garbled[text.find("index=") + 6] = 'G';
    EXPECT_FALSE(ParseCloneMarker(garbled).has_value());
}

namespace vt::starter {
namespace {

// The marker with the notes of what the copy made: a cut last note (a start
// killed while it wrote) is left out; any other text refuses the whole record,
// so that nothing is removed on the word of a damaged marker.
TEST(StartRules, CloneRecordReadsTheNotesOfWhatTheCopyMade) {
    const CloneMarker folder{0x5A00C0DEu, 0x10ull};
    const CloneMarker a{0x5A00C0DEu, 0x11ull}, b{0x5A00C0DEu, 0xFFFFFFFFFFFFFFFFull};
    EXPECT_EQ(OwnedEntryLine(a), "owned 5A00C0DE 0000000000000011\r\n");
    const std::string text = CloneMarkerText(folder) + OwnedEntryLine(a) + OwnedEntryLine(b);
    const auto record = ParseCloneRecord(text);
    ASSERT_TRUE(record);
    EXPECT_EQ(record->folder, folder);
    ASSERT_EQ(record->owned.size(), 2u);
    EXPECT_EQ(record->owned[0], a);
    EXPECT_EQ(record->owned[1], b);

    const auto bare = ParseCloneRecord(CloneMarkerText(folder));
    ASSERT_TRUE(bare);
    EXPECT_TRUE(bare->owned.empty());
    const auto cut = ParseCloneRecord(text.substr(0, text.size() - 5));
    ASSERT_TRUE(cut);
    EXPECT_EQ(cut->owned.size(), 1u);

    for (const std::string& bad : {CloneMarkerText(folder) + "owned 5a00c0de 0000000000000011\r\n" + OwnedEntryLine(b),
                                   CloneMarkerText(folder) + "owner 5A00C0DE 0000000000000011\r\n",
                                   CloneMarkerText(folder) + "owned 5A00C0DE_0000000000000011\r\n",
                                   std::string("owned 5A00C0DE 0000000000000011\r\n"), std::string()})
        EXPECT_FALSE(ParseCloneRecord(bad)) << bad;
}

}  // namespace
}  // namespace vt::starter
