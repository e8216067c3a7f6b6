// The real vtwd.exe in a scratch installation: <root>\EXE holds the starter and
// the game folder, <root>\DATA\AUDIO the executables for both modes (copies of
// the stand-in game, told apart by their sizes).
#include <gtest/gtest.h>

#include <map>

#include "platform/win/handles.h"
#include "support/test_support.h"
#include "ui_driver.h"

using namespace vt;
using namespace vt::test;

namespace {

constexpr DWORD kRunTimeoutMs = 30000;

class Install {
public:
    Install() {
        MakeFolder(dir_ / "EXE");
        MakeFolder(dir_ / "DATA");
        MakeFolder(dir_ / "DATA\\AUDIO");
        ::CopyFileA((BuildDir() + "starter\\vtwd.exe").c_str(), (dir_ / "EXE\\vtwd.exe").c_str(), FALSE);
        const std::string game = ReadFileBytes(BuildDir() + "tools\\vt_standin_game.exe");
        multiSize_ = game.size() + 1;
        singleSize_ = game.size() + 2;
        WriteFileBytes(dir_ / "DATA\\AUDIO\\ambienteA.utf", game + "M");   // bytes after the image do not matter
        WriteFileBytes(dir_ / "DATA\\AUDIO\\ambienteB.utf", game + "SS");
        WriteFileBytes(dir_ / "EXE\\Skyreach.exe", "the game as installed");
        WriteFileBytes(dir_ / "EXE\\game.dll", "dll");
        WriteFileBytes(dir_ / "EXE\\old.srmmbak", "backup");
        ::SetEnvironmentVariableA("VT_STANDIN_REPORT", Report().c_str());
        ::SetEnvironmentVariableA("VT_STANDIN_CHILD", nullptr);
    }
    ~Install() { ::SetEnvironmentVariableA("VT_STANDIN_REPORT", nullptr); }

    std::string operator/(const std::string& name) const { return dir_ / name; }
    std::string Report() const { return dir_ / "report.txt"; }
    std::size_t MultiSize() const { return multiSize_; }
    std::size_t SingleSize() const { return singleSize_; }
    void Config(const std::string& text) const { WriteFileBytes(dir_ / "EXE\\UPDATE.CFG", text); }

    // The report's key=value lines; empty when the game did not run.
    std::map<std::string, std::string> GameReport() const {
        std::map<std::string, std::string> fields;
        const std::string text = ReadFileBytes(Report());
        std::size_t start = 0;
        while (start < text.size()) {
            std::size_t end = text.find("\r\n", start);
            if (end == std::string::npos) end = text.size();
            const std::string line = text.substr(start, end - start);
            const std::size_t eq = line.find('=');
            if (eq != std::string::npos) fields[line.substr(0, eq)] = line.substr(eq + 1);
            start = end + 2;
        }
        return fields;
    }

    // Starts vtwd.exe with `arguments`; the caller waits or works its boxes.
    win::UniqueKernelHandle Start(const std::string& arguments, DWORD* processId = nullptr) const {
        return StartProgram("\"" + (dir_ / "EXE\\vtwd.exe") + "\" " + arguments, dir_ / "EXE", processId);
    }

    // Runs vtwd.exe to its end; false when it did not end in time.
    bool Run(const std::string& arguments, DWORD* elapsedMs = nullptr) const {
        const ULONGLONG begin = ::GetTickCount64();
        win::UniqueKernelHandle process = Start(arguments);
        if (!process) return false;
        const bool ended = ::WaitForSingleObject(process.get(), kRunTimeoutMs) == WAIT_OBJECT_0;
        if (!ended) ::TerminateProcess(process.get(), 1);
        if (elapsedMs) *elapsedMs = static_cast<DWORD>(::GetTickCount64() - begin);
        return ended;
    }

    // Runs vtwd.exe, expects one message box, checks `whileShown` and the text,
    // presses OK and waits for the end. Returns the box's text.
    template <typename F>
    std::string RunToMessageBox(const std::string& arguments, F&& whileShown) const {
        DWORD id = 0;
        win::UniqueKernelHandle process = Start(arguments, &id);
        if (!process) return "(not started)";
        HWND box = ui::WaitForMessageBox(id, "vtwd.exe", kRunTimeoutMs);
        if (!box) {
            ::TerminateProcess(process.get(), 1);
            return "(no message box)";
        }
        const std::string text = ui::MessageBoxText(box);
        whileShown();
        ui::CloseMessageBox(box);
        if (::WaitForSingleObject(process.get(), kRunTimeoutMs) != WAIT_OBJECT_0) {
            ::TerminateProcess(process.get(), 1);
            return "(did not end after OK)";
        }
        return text;
    }

private:
    TempDir dir_;
    std::size_t multiSize_ = 0;
    std::size_t singleSize_ = 0;
};

}  // namespace

TEST(StarterProgram, MultiplayerRoadWithDefaults) {
    Install in;
    WriteFileBytes(in / "DATA\\AUDIO\\ambienteC.utf", "new launcher");
    SetAttributes(in / "EXE\\Skyreach.exe", FILE_ATTRIBUTE_READONLY);
    DWORD elapsed = 0;
    ASSERT_TRUE(in.Run("MULTI", &elapsed));

    const auto game = in.GameReport();
    ASSERT_FALSE(game.empty()) << "the game did not run";
    EXPECT_EQ(game.at("command"), "\"" + (in / "EXE2\\Skyreach.exe") + "\" -splay.vortane-mod.net:2302");
    EXPECT_EQ(game.at("folder") + "\\", in / "EXE2\\");
    EXPECT_EQ(game.at("size"), std::to_string(in.MultiSize()));
    EXPECT_EQ(game.at("files"), "Skyreach.exe|game.dll|vtwd.exe");  // no backup file
    EXPECT_FALSE(PathExists(in / "EXE2")) << "the clone was not removed";
    EXPECT_EQ(ReadFileBytes(in / "EXE\\Skyreach.exe"), "new launcher");
    EXPECT_EQ(ReadFileBytes(in / "EXE\\old.srmmbak"), "backup");
    EXPECT_GE(elapsed, 1000u) << "the new launcher is installed after DELAY (1000 ms)";
}

TEST(StarterProgram, SinglePlayerRoadUsesTheSecondExecutableAndTheSameParameters) {
    Install in;
    in.Config("EXEPARAMS=-s127.0.0.1:2302\r\nDELAY=-1\r\n");
    WriteFileBytes(in / "DATA\\AUDIO\\ambienteC.utf", "new launcher");
    MakeFolder(in / "EXE2");
    WriteFileBytes(in / "EXE2\\stale.txt", "left from a cut-short run");
    ASSERT_TRUE(in.Run("  single "));
    const auto game = in.GameReport();
    ASSERT_FALSE(game.empty());
    EXPECT_EQ(game.at("command"), "\"" + (in / "EXE2\\Skyreach.exe") + "\" -s127.0.0.1:2302");
    EXPECT_EQ(game.at("size"), std::to_string(in.SingleSize()));
    EXPECT_EQ(game.at("files").find("stale.txt"), std::string::npos);
    EXPECT_FALSE(PathExists(in / "EXE2"));
    EXPECT_EQ(ReadFileBytes(in / "EXE\\Skyreach.exe"), "new launcher");  // a negative delay does not wait forever
}

TEST(StarterProgram, MissingGameSourceShowsE6OrE8AfterTheCloneWasMade) {
    for (const char* mode : {"MULTI", "SINGLE"}) {
        Install in;
        ::DeleteFileA((in / (std::string(mode) == "MULTI" ? "DATA\\AUDIO\\ambienteA.utf" : "DATA\\AUDIO\\ambienteB.utf")).c_str());
        bool cloneWhileShown = false;
        const std::string text = in.RunToMessageBox(mode, [&] { cloneWhileShown = PathExists(in / "EXE2\\game.dll"); });
        EXPECT_EQ(text, std::string("Problem starting Multiplayer ... ") + (std::string(mode) == "MULTI" ? "[E6]" : "[E8]"));
        EXPECT_TRUE(cloneWhileShown) << mode;
        EXPECT_FALSE(PathExists(in / "EXE2")) << mode;
        EXPECT_TRUE(in.GameReport().empty()) << mode;
    }
}

TEST(StarterProgram, GameThatCannotBeCopiedInShowsE5OrE7) {
    for (const char* mode : {"MULTI", "SINGLE"}) {
        Install in;
        // A folder with the game's name in the clone can be neither deleted nor overwritten.
        ::DeleteFileA((in / "EXE\\Skyreach.exe").c_str());
        MakeFolder(in / "EXE\\Skyreach.exe");
        WriteFileBytes(in / "EXE\\Skyreach.exe\\inside", "x");
        const std::string text = in.RunToMessageBox(mode, [] {});
        EXPECT_EQ(text, std::string("Problem starting Multiplayer ... ") + (std::string(mode) == "MULTI" ? "[E5]" : "[E7]"));
        EXPECT_FALSE(PathExists(in / "EXE2")) << mode;
    }
}

TEST(StarterProgram, AnythingButAModeWordEndsWithNothingTouched) {
    for (const char* arguments : {"", "MULTI SINGLE", "-MULTI", "multiplayer"}) {
        Install in;
        WriteFileBytes(in / "DATA\\AUDIO\\ambienteC.utf", "new launcher");
        DWORD elapsed = 0;
        ASSERT_TRUE(in.Run(arguments, &elapsed)) << arguments;
        EXPECT_FALSE(PathExists(in / "EXE2")) << arguments;
        EXPECT_EQ(ReadFileBytes(in / "EXE\\Skyreach.exe"), "the game as installed") << arguments;
        EXPECT_TRUE(in.GameReport().empty()) << arguments;
        EXPECT_LT(elapsed, 1000u) << arguments;  // no DELAY was waited
    }
}

TEST(StarterProgram, CloneDirThatIsTheGameFolderIsRefused) {
    for (const char* clone : {"..\\EXE\\", "..\\", "..\\..\\..\\..\\..\\..\\..\\..\\"}) {
        Install in;
        in.Config(std::string("CLONEDIR=") + clone + "\r\n");
        const std::string text = in.RunToMessageBox("MULTI", [] {});
        EXPECT_NE(text.find("cannot be used"), std::string::npos) << clone << ": " << text;
        EXPECT_EQ(ReadFileBytes(in / "EXE\\Skyreach.exe"), "the game as installed") << clone;
        EXPECT_EQ(ReadFileBytes(in / "EXE\\game.dll"), "dll") << clone;
        EXPECT_TRUE(PathExists(in / "EXE\\vtwd.exe")) << clone;
        EXPECT_TRUE(in.GameReport().empty()) << clone;
    }
}

TEST(StarterProgram, GameThatCannotStartIsNamedAndTheCloneStays) {
    Install in;
    WriteFileBytes(in / "DATA\\AUDIO\\ambienteA.utf", "this is not a program");
    const std::string text = in.RunToMessageBox("MULTI", [] {});
    EXPECT_NE(text.find("Cannot start"), std::string::npos) << text;
    EXPECT_NE(text.find("Skyreach.exe"), std::string::npos) << text;
    EXPECT_TRUE(PathExists(in / "EXE2\\Skyreach.exe"));
}

TEST(StarterProgram, WaitEndsWithTheGameNotWithItsChild) {
    Install in;
    in.Config("DELAY=0\r\n");
    ::SetEnvironmentVariableA("VT_STANDIN_CHILD", "1");
    ::SetEnvironmentVariableA("VT_STANDIN_CHILD_MS", "8000");
    DWORD elapsed = 0;
    const bool ended = in.Run("MULTI", &elapsed);
    ::SetEnvironmentVariableA("VT_STANDIN_CHILD", nullptr);
    ASSERT_TRUE(ended);
    EXPECT_LT(elapsed, 7000u) << "the starter waited for the game's child";
    EXPECT_FALSE(in.GameReport().empty());
    bool childRan = false;  // the child may start only after its parent has ended
    for (int i = 0; i < 100 && !childRan; ++i, ::Sleep(100)) childRan = !ReadFileBytes(in.Report() + ".child").empty();
    EXPECT_TRUE(childRan) << "the child did not run";
}

TEST(StarterProgram, ReadOnlyGameTargetInTheCloneIsReplaced) {
    Install in;
    in.Config("DELAY=0\r\n");
    // The copy carries the read-only attribute into the clone's game target.
    SetAttributes(in / "EXE\\Skyreach.exe", FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN);
    ASSERT_TRUE(in.Run("MULTI"));
    const auto game = in.GameReport();
    ASSERT_FALSE(game.empty()) << "the game did not run";
    EXPECT_EQ(game.at("size"), std::to_string(in.MultiSize()));
    EXPECT_EQ(ReadFileBytes(in / "EXE\\Skyreach.exe"), "the game as installed");
    EXPECT_FALSE(PathExists(in / "EXE2"));
}
