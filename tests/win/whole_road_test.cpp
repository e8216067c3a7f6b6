// The whole road as a player walks it, under Wine: VT_Update.exe updates a
// sample installation from the bundled sample release, the launch click hands
// over to the real vtwd.exe, which clones the game folder, runs the stand-in
// game there and removes the clone when the game ends.
#include <gtest/gtest.h>

#include <utility>
#include <vector>

#include "platform/win/handles.h"
#include "platform/win/text_codes.h"
#include "support/test_support.h"
#include "test_server.h"
#include "ui_driver.h"

using namespace vt;
using namespace vt::test;

namespace {

constexpr DWORD kWaitMs = 30000;

class Road : public ::testing::Test {
protected:
    Road() : server(SourceDir() + "sample\\release") {
        MakeFolder(install / "EXE");
        MakeFolder(install / "DATA");
        MakeFolder(install / "DATA\\AUDIO");
        for (const char* program : {"launcher\\VT_Update.exe", "starter\\vtwd.exe"}) {
            const std::string name = std::string(program).substr(std::string(program).find('\\') + 1);
            ::CopyFileA((BuildDir() + program).c_str(), (install / ("EXE\\" + name)).c_str(), FALSE);
        }
        for (const char* file : {"LocalLauncher.htm", "Skyreach.exe"})
            ::CopyFileA((SourceDir() + "sample\\install\\" + file).c_str(), (install / "EXE\\" + file).c_str(), FALSE);
        // The two modes' executables: the stand-in game, told apart by trailing bytes.
        const std::string game = ReadFileBytes(BuildDir() + "tools\\vt_standin_game.exe");
        WriteFileBytes(install / "DATA\\AUDIO\\ambienteA.utf", game + "M");
        WriteFileBytes(install / "DATA\\AUDIO\\ambienteB.utf", game + "SS");
        multiSize_ = game.size() + 1;
        singleSize_ = game.size() + 2;
        ::SetEnvironmentVariableA("VT_STANDIN_REPORT", Report().c_str());
        ::SetEnvironmentVariableA("VT_STANDIN_SLEEP_MS", "2000");  // long enough to see the clone
    }
    ~Road() override {
        ::SetEnvironmentVariableA("VT_STANDIN_REPORT", nullptr);
        ::SetEnvironmentVariableA("VT_STANDIN_SLEEP_MS", nullptr);
    }

    std::string Report() const { return install / "report.txt"; }
    std::string Clone() const { return install / "EXE2"; }
    void Config(const std::string& webPath) const {
        WriteFileBytes(install / "EXE\\UPDATE.CFG", "WEBPATH=" + webPath + "\r\n");
    }

    // Starts the launcher, waits for `status`, clicks `button`; returns the
    // game's report once the starter is running it.
    std::string LaunchAfter(const std::string& status, const std::string& button) {
        DWORD processId = 0;
        win::UniqueKernelHandle launcher = StartProgram("\"" + install / "EXE\\VT_Update.exe" + "\"", install.path(), &processId);
        if (!launcher) return "cannot start VT_Update.exe";
        HWND window = ui::WaitForWindow(processId, "frmUpdate", "Vortane Mod Launcher V1.56", kWaitMs);
        if (!window || !ui::WaitUntilVisible(window, kWaitMs)) return "no launcher window";
        HWND statusBox = ui::FindChildByClass(window, "Edit");
        for (int i = 0; i < 600 && ui::WindowText(statusBox) != status; ++i) ::Sleep(50);
        if (ui::WindowText(statusBox) != status) return "status: " + ui::WindowText(statusBox);
        ui::Click(ui::WaitForChildByText(window, button, kWaitMs));
        EXPECT_EQ(::WaitForSingleObject(launcher.get(), 10000), WAIT_OBJECT_0) << "the launcher did not end";
        std::string text;
        for (int i = 0; i < 300 && (text = ReadFileBytes(Report())).find("\r\nfiles=") == std::string::npos; ++i) ::Sleep(100);
        return text;
    }

    // The clone goes when the game has ended.
    bool CloneRemoved() const {
        for (int i = 0; i < 300 && PathExists(Clone()); ++i) ::Sleep(100);
        return !PathExists(Clone());
    }

    TempDir install;
    vt::testing::TestServer server;
    std::size_t multiSize_ = 0, singleSize_ = 0;
};

}  // namespace

TEST_F(Road, MultiplayerAfterAnUpdateRunsTheGameFromTheCloneAndRemovesIt) {
    Config(server.BaseUrl() + "/VTupdates/");
    const std::string report = LaunchAfter("Done.", "LAUNCH Vortane Multiplayer");
    EXPECT_NE(report.find("command=\"" + Clone() + "\\Skyreach.exe\" -splay.vortane-mod.net:2302\r\n"), std::string::npos)
        << report;
    EXPECT_NE(report.find("exe=" + Clone() + "\\Skyreach.exe\r\n"), std::string::npos) << report;
    // In the working folder the launcher was started in, handed on by the starter.
    const std::string startFolder = install.path().substr(0, install.path().size() - 1);
    EXPECT_NE(report.find("folder=" + startFolder + "\r\n"), std::string::npos) << report;
    EXPECT_NE(report.find("size=" + std::to_string(multiSize_) + "\r\n"), std::string::npos) << "not the multiplayer executable";
    EXPECT_NE(report.find("VT_Update.exe"), std::string::npos) << "the clone is not a copy of the game folder: " << report;
    EXPECT_TRUE(CloneRemoved());

    // What the update delivered, and the new launcher file installed by the starter.
    EXPECT_EQ(ReadFileBytes(install / "DATA\\MAPS\\arena.ini"), ReadFileBytes(SourceDir() + "sample\\release\\VTupdates\\maps\\arena.ini"));
    EXPECT_FALSE(ReadFileBytes(install / "DATA\\TEXTURES\\UI\\logo.txt").empty());
    const std::string delivered = ReadFileBytes(SourceDir() + "sample\\release\\VTupdates\\launcher\\ambienteC.utf");
    EXPECT_EQ(ReadFileBytes(install / "EXE\\Skyreach.exe"), delivered);
}

TEST_F(Road, SinglePlayerAfterAFailedUpdate) {
    Config("http://127.0.0.1:1/VTupdates/");
    const std::string report =
        LaunchAfter("Vortane Update not found ... only Singleplayer available [E11]", "LAUNCH Vortane Singleplayer");
    EXPECT_NE(report.find("command=\"" + Clone() + "\\Skyreach.exe\" -splay.vortane-mod.net:2302\r\n"), std::string::npos)
        << report;
    EXPECT_NE(report.find("size=" + std::to_string(singleSize_) + "\r\n"), std::string::npos) << "not the single-player executable";
    EXPECT_TRUE(CloneRemoved());
    EXPECT_EQ(ReadFileBytes(install / "EXE\\Skyreach.exe"), ReadFileBytes(SourceDir() + "sample\\install\\Skyreach.exe"))
        << "no new launcher file was delivered, yet the game's executable changed";
}

namespace {

// Every folder along `path` below `base` (which exists), "\"-separated.
void MakeFolders(const std::string& base, const std::string& below) {
    std::string path = base;
    for (std::size_t at = 0; at < below.size();) {
        std::size_t slash = below.find('\\', at);
        if (slash == std::string::npos) slash = below.size();
        path += below.substr(at, slash - at) + "\\";
        if (!PathExists(path)) MakeFolder(path);
        at = slash + 1;
    }
}

// The whole road from an installation whose folders have any name and any
// length: a release made by vtlist.exe from files named in several scripts,
// the update, the multiplayer click, the clone, the game and its end.
class AnyNameRoad : public ::testing::Test {
protected:
    AnyNameRoad() : server(srv.path()) {}
    ~AnyNameRoad() override {
        ::SetEnvironmentVariableW(L"VT_STANDIN_REPORT", nullptr);
        ::SetEnvironmentVariableW(L"VT_STANDIN_SLEEP_MS", nullptr);
    }

    // Lays out the installation in `folder` (below the test's own folder) and
    // the release `files` (path below VTupdates, "\"-separated, and bytes).
    void Prepare(const std::string& folder, const std::vector<std::pair<std::string, std::string>>& files) {
        MakeFolders(base.path(), folder + "\\EXE");
        root = base.path() + folder + "\\";
        MakeFolders(root, "DATA\\AUDIO");
        for (const char* program : {"launcher\\VT_Update.exe", "starter\\vtwd.exe"}) {
            const std::string name = std::string(program).substr(std::string(program).find('\\') + 1);
            WriteFileBytes(root + "EXE\\" + name, ReadFileBytes(BuildDir() + program));
        }
        for (const char* file : {"LocalLauncher.htm", "Skyreach.exe"})
            WriteFileBytes(root + "EXE\\" + file, ReadFileBytes(SourceDir() + "sample\\install\\" + file));
        WriteFileBytes(root + "DATA\\AUDIO\\ambienteA.utf", ReadFileBytes(BuildDir() + "tools\\vt_standin_game.exe") + "M");
        WriteFileBytes(root + "EXE\\UPDATE.CFG", "WEBPATH=" + server.BaseUrl() + "/VTupdates/\r\n");
        ::SetEnvironmentVariableW(L"VT_STANDIN_REPORT", win::Wide(root + "report.txt").c_str());
        ::SetEnvironmentVariableW(L"VT_STANDIN_SLEEP_MS", L"2000");

        MakeFolder(srv / "VTupdates");
        WriteFileBytes(srv / "VTupdates\\Index.html", ReadFileBytes(SourceDir() + "sample\\release\\VTupdates\\Index.html"));
        for (const auto& [path, bytes] : files) {
            const std::size_t slash = path.find_last_of('\\');
            if (slash != std::string::npos) MakeFolders(srv / "VTupdates\\", path.substr(0, slash));
            WriteFileBytes(srv / ("VTupdates\\" + path), bytes);
        }
    }

    // vtlist.exe run as a publisher runs it; its exit status.
    DWORD Vtlist(const std::string& arguments) {
        const std::string command = "\"" + BuildDir() + "tools\\vtlist\\vtlist.exe\" " + arguments;
        win::UniqueKernelHandle process = StartProgram(command, srv.path());
        DWORD code = 99;
        if (process && ::WaitForSingleObject(process.get(), kWaitMs) == WAIT_OBJECT_0)
            ::GetExitCodeProcess(process.get(), &code);
        return code;
    }

    // The launcher to "Done.", then the multiplayer click; the game's report.
    std::string UpdateAndPlay(std::string& status) {
        DWORD processId = 0;
        win::UniqueKernelHandle launcher = StartProgram("\"" + root + "EXE\\VT_Update.exe\"", root + "EXE", &processId);
        if (!launcher) return "cannot start VT_Update.exe";
        HWND window = ui::WaitForWindow(processId, "frmUpdate", "Vortane Mod Launcher V1.56", kWaitMs);
        if (!window || !ui::WaitUntilVisible(window, kWaitMs)) return "no launcher window";
        HWND statusBox = ui::FindChildByClass(window, "Edit");
        for (int i = 0; i < 600 && (status = ui::WindowText(statusBox)) != "Done." && status.find("[E") == std::string::npos; ++i)
            ::Sleep(50);
        if (status != "Done.") {
            ::TerminateProcess(launcher.get(), 1);
            return "";
        }
        ui::Click(ui::WaitForChildByText(window, "LAUNCH Vortane Multiplayer", kWaitMs));
        EXPECT_EQ(::WaitForSingleObject(launcher.get(), 10000), WAIT_OBJECT_0) << "the launcher did not end";
        std::string text;
        for (int i = 0; i < 300 && (text = ReadFileBytes(root + "report.txt")).find("\r\nfiles=") == std::string::npos; ++i)
            ::Sleep(100);
        return text;
    }

    bool CloneRemoved() const {
        for (int i = 0; i < 300 && PathExists(root + "EXE2"); ++i) ::Sleep(100);
        return !PathExists(root + "EXE2");
    }

    TempDir base;
    TempDir srv;
    vt::testing::TestServer server;
    std::string root;  // the installation's folder, ending in a backslash
};

}  // namespace

TEST_F(AnyNameRoad, AFolderNamedInCyrillicPolishCjkAndEmojiGoesTheWholeRoad) {
    const std::vector<std::pair<std::string, std::string>> files = {
        {"maps\\forêt du nord.ini", "[forêt]"},
        {"Игра\\карта мира.txt", "карта"},
        {"游戏\\数据.dat", "数据"},
        {"gra łść\\🎮 pad.txt", "🎮"},
    };
    Prepare("Игра Gra łść 游戏 🎮", files);
    ASSERT_EQ(Vtlist("make VTupdates --local-prefix ..\\DATA\\ --skip Index.html -o VTupdates\\update.dat"), 0u);
    ASSERT_EQ(Vtlist("check " + server.BaseUrl() + "/VTupdates/"), 0u) << "vtlist.exe check does not agree with the server";

    std::string status;
    const std::string report = UpdateAndPlay(status);
    ASSERT_EQ(status, "Done.") << report << ReadFileBytes(root + "EXE\\VT_Update.log");
    for (const auto& [path, bytes] : files) EXPECT_EQ(ReadFileBytes(root + "DATA\\" + path), bytes) << path;
    EXPECT_NE(ReadFileBytes(root + "EXE\\VT_Update.log").find("DATA\\maps\\forêt du nord.ini"), std::string::npos)
        << "the log names the file in UTF-8";
    EXPECT_NE(report.find("exe=" + root + "EXE2\\Skyreach.exe\r\n"), std::string::npos) << report;
    EXPECT_TRUE(CloneRemoved());
}

TEST_F(AnyNameRoad, AThreeHundredCharacterEntryPathUpdatesAndStarts) {
    const std::string entryFolders = std::string(125, 'e') + "\\" + std::string(125, 'g');
    const std::vector<std::pair<std::string, std::string>> files = {{entryFolders + "\\deep.txt", "deep"}};
    Prepare("Long entries", files);
    ASSERT_GT((root + "DATA\\" + entryFolders + "\\deep.txt").size(), 300u);
    ASSERT_EQ(Vtlist("make VTupdates --local-prefix ..\\DATA\\ --skip Index.html -o VTupdates\\update.dat"), 0u);

    std::string status;
    const std::string report = UpdateAndPlay(status);
    ASSERT_EQ(status, "Done.") << report << ReadFileBytes(root + "EXE\\VT_Update.log");
    EXPECT_EQ(ReadFileBytes(root + "DATA\\" + entryFolders + "\\deep.txt"), "deep");
    EXPECT_NE(report.find("exe=" + root + "EXE2\\Skyreach.exe\r\n"), std::string::npos) << report;
    EXPECT_TRUE(CloneRemoved());
}
