#include <gtest/gtest.h>

#include "config/app_dir.h"
#include "config/config_line.h"
#include "config/settings.h"
#include "config/text_lines.h"

using namespace vt;
using Lines = std::vector<std::string>;

namespace {
const std::string kApp = "C:\\Games\\SR\\EXE\\";
LauncherSettings Launcher(const std::string& file) { return MakeLauncherSettings(kApp, SplitTextLines(file)); }
StarterSettings Starter(const std::string& file) { return MakeStarterSettings(kApp, SplitTextLines(file)); }
}  // namespace

TEST(AppDir, OneTrailingBackslashAlsoInADriveRoot) {
    EXPECT_EQ(MakeAppDir("C:\\Games\\Mod\\Launcher"), "C:\\Games\\Mod\\Launcher\\");
    EXPECT_EQ(MakeAppDir("C:\\"), "C:\\");
    EXPECT_EQ(MakeAppDir("C:\\a\\\\b"), "C:\\a\\b\\");
    EXPECT_EQ(MakeAppDir("C:\\a\\\\\\b"), "C:\\a\\\\b\\");  // one pass: three become two
}

TEST(AppDir, NetworkShareKeepsItsLeadingPair) {
    EXPECT_EQ(MakeAppDir("\\\\server\\share\\VT"), "\\\\server\\share\\VT\\");
}

TEST(ConfigLine, KeyIncludesTheFirstEqualsAndTheValueIsUntouched) {
    EXPECT_EQ(SplitConfigLine("WEBPATH=a=b").Key, "WEBPATH=");
    EXPECT_EQ(SplitConfigLine("WEBPATH=a=b").Value, "a=b");
    EXPECT_EQ(SplitConfigLine("X= v ").Value, " v ");
    EXPECT_EQ(SplitConfigLine("no equals").Key, "");
    EXPECT_EQ(SplitConfigLine("=v").Key, "=");
}

TEST(LauncherSettings, DefaultsWithoutAFile) {
    const LauncherSettings s = MakeLauncherSettings(kApp, std::nullopt);
    EXPECT_EQ(s.AppDir, kApp);
    EXPECT_EQ(s.WebPath, DefaultWebPath());
    EXPECT_EQ(s.WebPath.substr(0, 7), "http://");
    EXPECT_EQ(s.WebPath.substr(s.WebPath.size() - 11), "/VTupdates/");
    EXPECT_EQ(s.WebPage, "Index.html");
    EXPECT_EQ(s.Watchdog, "vtwd.exe");
    EXPECT_EQ(s.PatchList, "");
    EXPECT_EQ(s.LocalPage, "LocalLauncher.htm");
    EXPECT_EQ(s.Timeout, "3");
    EXPECT_EQ(s.PatchListName, "update.dat");
}

TEST(LauncherSettings, ValuesAreTakenExactly) {
    const LauncherSettings s = Launcher(
        "WEBPATH=http://127.0.0.1:8080/a=b/\r\nWEBPAGE=Start.htm \r\nWATCHDOG=bin\\vtwd.exe\rLOCALPAGE=off.htm\r\n"
        "TIMEOUT=10\r\nPATCHLIST=list.txt\r\nMAXDOWNLOADS=3");
    EXPECT_EQ(s.WebPath, "http://127.0.0.1:8080/a=b/");
    EXPECT_EQ(s.WebPage, "Start.htm ");  // trailing blank stays
    EXPECT_EQ(s.Watchdog, "bin\\vtwd.exe");
    EXPECT_EQ(s.LocalPage, "off.htm");
    EXPECT_EQ(s.Timeout, "10");
    EXPECT_EQ(s.PatchListName, "list.txt");
    EXPECT_EQ(s.MaxDownloads, "3");
}

TEST(LauncherSettings, EmptyValueIsLikeAMissingLineAndLaterLinesWin) {
    const LauncherSettings s = Launcher("WEBPAGE=\r\nWATCHDOG=first.exe\r\nWATCHDOG=second.exe\r\nPATCHLIST=\r\n");
    EXPECT_EQ(s.WebPage, "Index.html");
    EXPECT_EQ(s.Watchdog, "second.exe");
    EXPECT_EQ(s.PatchListName, "update.dat");
}

TEST(LauncherSettings, KeysMatchOnlyExactly) {
    const LauncherSettings s = Launcher("webpage=a\r\n WEBPAGE=b\r\nWEBPAGE =c\r\nWEBPAGE\r\nXWEBPAGE=d\r\n\r\n");
    EXPECT_EQ(s.WebPage, "Index.html");
}

TEST(LauncherSettings, LfOnlyFileFromALinuxEditorKeepsEveryKey) {
    const LauncherSettings s = Launcher("WEBPAGE=a.htm\nWATCHDOG=w.exe\nPUBLICKEY=ab12\n");
    EXPECT_EQ(s.WebPage, "a.htm");
    EXPECT_EQ(s.Watchdog, "w.exe");
    EXPECT_EQ(s.PublicKey, "ab12");  // once lost silently: signature checking was off
}

TEST(LauncherSettings, StarterKeysAreIgnored) {
    const LauncherSettings s = Launcher("EXENAME=x\r\nCOPYDIR=y\r\nDELAY=5\r\n");
    EXPECT_EQ(s.WebPage, "Index.html");
    EXPECT_EQ(s.Watchdog, "vtwd.exe");
    EXPECT_EQ(s.Timeout, "3");
}

TEST(StarterSettings, DefaultsWithoutAFile) {
    const StarterSettings s = MakeStarterSettings(kApp, std::nullopt);
    EXPECT_EQ(s.CopyDir, "C:\\Games\\SR\\EXE\\");
    EXPECT_EQ(s.CloneDir, "C:\\Games\\SR\\EXE2\\");
    EXPECT_EQ(s.ExeName, "C:\\Games\\SR\\DATA\\AUDIO\\ambienteA.utf");
    EXPECT_EQ(s.ExeName2, "C:\\Games\\SR\\DATA\\AUDIO\\ambienteB.utf");
    EXPECT_EQ(s.ExeParams, DefaultExeParams());
    EXPECT_EQ(s.ExeParams.substr(0, 2), "-s");
    EXPECT_EQ(s.ExeParams.substr(s.ExeParams.size() - 5), ":2302");
    EXPECT_EQ(s.SrName, "Skyreach.exe");
    EXPECT_EQ(s.NewLauncher, "..\\DATA\\AUDIO\\ambienteC.utf");
    EXPECT_EQ(s.DelayMs, 1000);
}

TEST(StarterSettings, ValuesAreResolvedOrKept) {
    const StarterSettings s = Starter(
        "COPYDIR=..\\EXE2\r\nCLONEDIR=..\\..\\Run\\\r\nEXENAME=mp.exe\r\nEXENAME2=..\\sp.exe\r\n"
        "EXEPARAMS= -s 127.0.0.1:2302\r\nSRNAME=Game.exe\r\nNEWLAUNCHER=new\\L.exe\r\n");
    EXPECT_EQ(s.CopyDir, "C:\\Games\\SR\\EXE2");
    EXPECT_EQ(s.CloneDir, "C:\\Games\\Run\\");
    EXPECT_EQ(s.ExeName, "C:\\Games\\SR\\EXE\\mp.exe");
    EXPECT_EQ(s.ExeName2, "C:\\Games\\SR\\sp.exe");
    EXPECT_EQ(s.ExeParams, " -s 127.0.0.1:2302");
    EXPECT_EQ(s.SrName, "Game.exe");
    EXPECT_EQ(s.NewLauncher, "new\\L.exe");
}

TEST(StarterSettings, DelayConversion) {
    EXPECT_EQ(Starter("DELAY=250").DelayMs, 250);
    EXPECT_EQ(Starter("DELAY=").DelayMs, 1000);
    EXPECT_EQ(Starter("DELAY=abc").DelayMs, 1000);
    EXPECT_EQ(Starter("DELAY=2147483648").DelayMs, 1000);
    EXPECT_EQ(Starter("DELAY=-5").DelayMs, -5);
    EXPECT_EQ(Starter("DELAY= 0 ").DelayMs, 0);
}

TEST(StarterSettings, LauncherKeysAreIgnoredAndLaterLinesWin) {
    const StarterSettings s = Starter("WEBPATH=x\r\nWATCHDOG=y\r\nSRNAME=a.exe\r\nSRNAME=b.exe\r\nsrname=c.exe\r\n");
    EXPECT_EQ(s.SrName, "b.exe");
    EXPECT_EQ(s.CopyDir, "C:\\Games\\SR\\EXE\\");
}

TEST(StarterSettings, DriveRootAppDir) {
    const StarterSettings s = MakeStarterSettings(MakeAppDir("C:\\"), std::nullopt);
    EXPECT_EQ(s.AppDir, "C:\\");
    EXPECT_EQ(s.CopyDir, "C:\\EXE\\");
    EXPECT_EQ(s.CloneDir, "C:\\EXE2\\");
}
