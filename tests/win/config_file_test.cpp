// UPDATE.CFG as the programs find it on a real (Wine) file system.
#include <gtest/gtest.h>

#include "config/win/config_file.h"
#include "platform/win/failure.h"
#include "platform/win/handles.h"
#include "support/test_support.h"

using namespace vt;
using vt::test::TempDir;

TEST(ConfigFile, MissingFileGivesDefaults) {
    TempDir dir;
    EXPECT_FALSE(win::ReadConfigLines(dir.path()).has_value());
    EXPECT_EQ(win::ReadLauncherSettings(dir.path()).WebPage, "Index.html");
    EXPECT_EQ(win::ReadStarterSettings(dir.path()).DelayMs, 1000);
}

TEST(ConfigFile, CrAndCrLfFilesAreRead) {
    TempDir dir;
    test::WriteFileBytes(dir / "UPDATE.CFG", "WEBPAGE=a.htm\rWATCHDOG=w.exe\r\nDELAY=250");
    const LauncherSettings l = win::ReadLauncherSettings(dir.path());
    EXPECT_EQ(l.WebPage, "a.htm");
    EXPECT_EQ(l.Watchdog, "w.exe");
    EXPECT_EQ(l.AppDir, dir.path());
    EXPECT_EQ(win::ReadStarterSettings(dir.path()).DelayMs, 250);
}

TEST(ConfigFile, HiddenSystemOrFolderCountsAsMissing) {
    for (DWORD attribute : {DWORD{FILE_ATTRIBUTE_HIDDEN}, DWORD{FILE_ATTRIBUTE_SYSTEM}}) {
        TempDir dir;
        test::WriteFileBytes(dir / "UPDATE.CFG", "WEBPAGE=a.htm\r\n");
        test::SetAttributes(dir / "UPDATE.CFG", attribute);
        ASSERT_EQ(test::Attributes(dir / "UPDATE.CFG") & attribute, attribute);
        EXPECT_FALSE(win::ReadConfigLines(dir.path()).has_value()) << attribute;
        EXPECT_EQ(win::ReadLauncherSettings(dir.path()).WebPage, "Index.html");
    }
    TempDir dir;
    test::MakeFolder(dir / "UPDATE.CFG");
    EXPECT_FALSE(win::ReadConfigLines(dir.path()).has_value());
}

TEST(ConfigFile, ReadOnlyFileIsRead) {
    TempDir dir;
    test::WriteFileBytes(dir / "UPDATE.CFG", "TIMEOUT=9\r\n");
    test::SetAttributes(dir / "UPDATE.CFG", FILE_ATTRIBUTE_READONLY);
    EXPECT_EQ(win::ReadLauncherSettings(dir.path()).Timeout, "9");
}

TEST(ConfigFile, FileHeldWithoutSharingIsAFailureThatNamesIt) {
    TempDir dir;
    const std::string path = dir / "UPDATE.CFG";
    test::WriteFileBytes(path, "TIMEOUT=9\r\n");
    win::UniqueFileHandle holder(::CreateFileA(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(holder);
    try {
        win::ReadLauncherSettings(dir.path());
        FAIL() << "a locked UPDATE.CFG must not read as defaults";
    } catch (const win::Failure& e) {
        EXPECT_NE(std::string(e.what()).find(path), std::string::npos) << e.what();
    }
}

TEST(ConfigFile, ProgramAppDirIsTheTestProgramsFolder) {
    char module[MAX_PATH];
    const DWORD n = ::GetModuleFileNameA(nullptr, module, MAX_PATH);
    std::string expected(module, n);
    expected.erase(expected.find_last_of('\\') + 1);
    EXPECT_EQ(win::ProgramAppDir(), expected);
}
