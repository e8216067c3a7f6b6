#include "starter/start_rules.h"

#include <gtest/gtest.h>

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
    EXPECT_EQ(FolderOf("C:\\Games\\SR\\EXE2\\Skyreach.exe"), "C:\\Games\\SR\\EXE2\\");
    EXPECT_EQ(FolderOf("game.exe"), "");
}

TEST(StartRules, ComparablePaths) {
    EXPECT_EQ(ComparablePath("C:\\Games\\SR\\EXE\\"), "c:\\games\\sr\\exe");
    EXPECT_EQ(ComparablePath("C:\\Games\\\\SR\\.\\X\\..\\EXE"), "c:\\games\\sr\\exe");
    EXPECT_EQ(ComparablePath("C:/Games/SR/"), "c:\\games\\sr");
    EXPECT_EQ(ComparablePath("C:\\..\\..\\x"), "c:\\x");
    EXPECT_TRUE(IsSameOrInside("C:\\Games\\SR\\EXE\\", "c:\\games\\SR"));
    EXPECT_FALSE(IsSameOrInside("C:\\Games\\SR\\EXE2\\", "C:\\Games\\SR\\EXE"));
}

TEST(StartRules, RootsAreNeverTrees) {
    for (const char* root : {"", "C:", "C:\\", "c:\\\\", "C:\\x\\..", "\\\\server\\share", "\\\\server\\share\\"})
        EXPECT_TRUE(IsRootOrEmpty(root)) << root;
    EXPECT_FALSE(IsRootOrEmpty("C:\\EXE2\\"));
    EXPECT_FALSE(IsRootOrEmpty("\\\\server\\share\\EXE2"));
}

TEST(StartRules, CloneDirThatWouldWipeTheGameIsRefused) {
    const std::string app = "C:\\Games\\SR\\EXE\\";
    const std::string copy = "C:\\Games\\SR\\EXE\\";
    EXPECT_EQ(CloneDirRefusal("C:\\Games\\SR\\EXE2\\", copy, app), "");
    EXPECT_NE(CloneDirRefusal("C:\\Games\\SR\\EXE\\", copy, app), "");      // CLONEDIR=..\EXE\ .
    EXPECT_NE(CloneDirRefusal("C:\\Games\\SR\\exe", copy, app), "");        // any case, no backslash
    EXPECT_NE(CloneDirRefusal("C:\\Games\\SR\\", copy, app), "");           // holds the game
    EXPECT_NE(CloneDirRefusal("C:\\", copy, app), "");
    EXPECT_NE(CloneDirRefusal("C:\\Games\\SR\\Starter\\", "C:\\Games\\SR\\EXE\\", "C:\\Games\\SR\\Starter\\"), "");
    EXPECT_EQ(CloneDirRefusal("C:\\Games\\SR\\EXE\\Run\\", copy, app), "");  // inside the game is allowed
}
