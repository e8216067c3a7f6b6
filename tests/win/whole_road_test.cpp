// The whole road as a player walks it, under Wine: VT_Update.exe updates a
// sample installation from the bundled sample release, the launch click hands
// over to the real vtwd.exe, which clones the game folder, runs the stand-in
// game there and removes the clone when the game ends.
#include <gtest/gtest.h>

#include "platform/win/handles.h"
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
