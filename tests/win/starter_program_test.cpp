// The real vtwd.exe in a sandbox: "<sandbox>\Skyreach Install Folder" is the
// installation (EXE holds the starter and the game folder, DATA\AUDIO the
// executables for both modes, copies of the stand-in game told apart by their
// sizes). Two canary folders, one beside EXE in the installation ("Saves") and
// one outside it ("<sandbox>\Documents"), are checked byte for byte when every
// test ends: the starter never touches what it did not make.
#include <gtest/gtest.h>

#include <map>
#include <vector>

#include "platform/win/handles.h"
#include "support/test_support.h"
#include "ui_driver.h"

using namespace vt;
using namespace vt::test;

namespace {

constexpr DWORD kRunTimeoutMs = 30000;

class Install {
public:
    // In a scratch folder of the system's, or below `under`.
    explicit Install(const std::string& under = {}) : sandbox_(under.empty() ? TempDir() : TempDir(under)) {
        MakeFolder(sandbox_ / "Documents");
        WriteFileBytes(sandbox_ / "Documents\\letter.txt", "a player's letter");
        MakeFolder(sandbox_ / "Documents\\Photos");
        WriteFileBytes(sandbox_ / "Documents\\Photos\\p.jpg", "photo");
        MakeFolder(dir_);
        MakeFolder(dir_ + "Saves");
        WriteFileBytes(dir_ + "Saves\\slot1.sav", "saved game");
        MakeFolder(dir_ + "EXE");
        MakeFolder(dir_ + "DATA");
        MakeFolder(dir_ + "DATA\\AUDIO");
        ::CopyFileA((BuildDir() + "starter\\vtwd.exe").c_str(), (dir_ + "EXE\\vtwd.exe").c_str(), FALSE);
        const std::string game = ReadFileBytes(BuildDir() + "tools\\vt_standin_game.exe");
        multiSize_ = game.size() + 1;
        singleSize_ = game.size() + 2;
        WriteFileBytes(dir_ + "DATA\\AUDIO\\ambienteA.utf", game + "M");   // bytes after the image do not matter
        WriteFileBytes(dir_ + "DATA\\AUDIO\\ambienteB.utf", game + "SS");
        WriteFileBytes(dir_ + "EXE\\Skyreach.exe", "the game as installed");
        WriteFileBytes(dir_ + "EXE\\game.dll", "dll");
        WriteFileBytes(dir_ + "EXE\\old.srmmbak", "backup");
        ::SetEnvironmentVariableA("VT_STANDIN_REPORT", Report().c_str());
        ::SetEnvironmentVariableA("VT_STANDIN_CHILD", nullptr);
        outsideCanary_ = TreeSnapshot(sandbox_ / "Documents");
        besideCanary_ = TreeSnapshot(dir_ + "Saves");
    }
    ~Install() {
        ::SetEnvironmentVariableA("VT_STANDIN_REPORT", nullptr);
        if (TreeSnapshot(sandbox_ / "Documents") != outsideCanary_) ADD_FAILURE() << "the canary outside the install changed";
        if (TreeSnapshot(dir_ + "Saves") != besideCanary_) ADD_FAILURE() << "the canary beside EXE changed";
    }

    std::string operator/(const std::string& name) const { return dir_ + name; }
    std::string Root() const { return dir_; }              // the installation, ends in a backslash
    std::string Sandbox() const { return sandbox_.path(); }  // holds the installation and Documents
    std::string Report() const { return sandbox_ / "report.txt"; }
    std::size_t MultiSize() const { return multiSize_; }
    std::size_t SingleSize() const { return singleSize_; }
    void Config(const std::string& text) const { WriteFileBytes(dir_ + "EXE\\UPDATE.CFG", text); }

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

    // Starts vtwd.exe with `arguments` in the installation's folder (as a
    // shortcut to the launcher would); the caller waits or works its boxes.
    win::UniqueKernelHandle Start(const std::string& arguments, DWORD* processId = nullptr) const {
        return StartProgram("\"" + (dir_ + "EXE\\vtwd.exe") + "\" " + arguments, dir_, processId);
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
        lastBoxOwner_ = ui::OwnerClassName(box);
        whileShown();
        ui::CloseMessageBox(box);
        if (::WaitForSingleObject(process.get(), kRunTimeoutMs) != WAIT_OBJECT_0) {
            ::TerminateProcess(process.get(), 1);
            return "(did not end after OK)";
        }
        return text;
    }

    // The window class of the last message box's owner.
    const std::string& LastBoxOwner() const { return lastBoxOwner_; }

private:
    mutable std::string lastBoxOwner_;
    TempDir sandbox_;
    std::string dir_ = sandbox_ / "Skyreach Install Folder\\";
    std::map<std::string, std::string> outsideCanary_, besideCanary_;
    std::size_t multiSize_ = 0;
    std::size_t singleSize_ = 0;
};

}  // namespace

namespace {
// The names whose content differs between two snapshots (binaries are not
// worth printing).
std::string ChangedNames(const std::map<std::string, std::string>& before, const std::map<std::string, std::string>& after) {
    std::string changed;
    for (const auto& [name, content] : before) {
        const auto found = after.find(name);
        if (found == after.end()) changed += "-" + name + " ";
        else if (found->second != content) changed += "~" + name + " ";
    }
    for (const auto& [name, content] : after)
        if (!before.count(name)) changed += "+" + name + " ";
    return changed;
}

// The temporary files (".vttmp") below a folder, by name.
std::string TemporaryFilesIn(const std::string& folder) {
    std::string found;
    for (const auto& [name, content] : TreeSnapshot(folder))
        if (name.find(".vttmp") != std::string::npos) found += name + " ";
    return found;
}
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
    EXPECT_EQ(game.at("exe"), in / "EXE2\\Skyreach.exe");
    EXPECT_EQ(game.at("size"), std::to_string(in.MultiSize()));
    // No backup file; the clone's marker (hidden) and the starter's log are there.
    EXPECT_EQ(game.at("files"), "Skyreach.exe|game.dll|vtwd-clone.marker|vtwd.exe|vtwd.log");
    EXPECT_FALSE(PathExists(in / "EXE2")) << "the clone was not removed";
    EXPECT_EQ(ReadFileBytes(in / "EXE\\Skyreach.exe"), "new launcher");
    EXPECT_EQ(ReadFileBytes(in / "EXE\\old.srmmbak"), "backup");
    EXPECT_GE(elapsed, 1000u) << "the new launcher is installed after DELAY (1000 ms)";
    EXPECT_EQ(TemporaryFilesIn(in / "EXE"), "");

    const std::string log = ReadFileBytes(in / "EXE\\vtwd.log");
    for (const char* expected : {" MODE MULTI", " SETTINGS AppDir=", " NEWLAUNCHER ", "installed as", " COPY ",
                                 " GAME starting \"", " GAME ended", "the clone is gone"})
        EXPECT_NE(log.find(expected), std::string::npos) << expected << " missing from the log:\n" << log;
}

// The game runs in the starter's own working folder, inherited (normally the
// folder the player started the launcher from), where what it writes beside
// itself persists; the clone and what is written there are removed.
TEST(StarterProgram, GameRunsInTheInheritedWorkingFolderNotInTheClone) {
    Install in;
    in.Config("DELAY=0\r\n");
    ASSERT_TRUE(in.Run("MULTI"));
    const auto game = in.GameReport();
    ASSERT_FALSE(game.empty()) << "the game did not run";
    EXPECT_EQ(game.at("folder") + "\\", in.Root());
}

TEST(StarterProgram, SinglePlayerRoadUsesTheSecondExecutableAndTheSameParameters) {
    Install in;
    in.Config("EXEPARAMS=-s127.0.0.1:2302\r\nDELAY=-1\r\n");
    WriteFileBytes(in / "DATA\\AUDIO\\ambienteC.utf", "new launcher");
    ASSERT_TRUE(in.Run("  single "));
    const auto game = in.GameReport();
    ASSERT_FALSE(game.empty());
    EXPECT_EQ(game.at("command"), "\"" + (in / "EXE2\\Skyreach.exe") + "\" -s127.0.0.1:2302");
    EXPECT_EQ(game.at("size"), std::to_string(in.SingleSize()));
    EXPECT_FALSE(PathExists(in / "EXE2"));
    EXPECT_EQ(ReadFileBytes(in / "EXE\\Skyreach.exe"), "new launcher");  // a negative delay does not wait forever
}

// A clone left by a start that was cut short (here: a game that could not
// start) carries the starter's marker and is removed before the next copy.
TEST(StarterProgram, LeftoverCloneOfThisStarterIsRemovedBeforeTheNewCopy) {
    Install in;
    in.Config("DELAY=0\r\n");
    const std::string game = ReadFileBytes(in / "DATA\\AUDIO\\ambienteA.utf");
    WriteFileBytes(in / "DATA\\AUDIO\\ambienteA.utf", "this is not a program");
    // Copied into the clone by the cut-short run, gone from the game folder since.
    WriteFileBytes(in / "EXE\\stale.txt", "left from a cut-short run");
    in.RunToMessageBox("MULTI", [] {});
    ASSERT_TRUE(PathExists(in / "EXE2\\vtwd-clone.marker")) << "no leftover clone";
    ASSERT_TRUE(PathExists(in / "EXE2\\stale.txt"));
    ::DeleteFileA((in / "EXE\\stale.txt").c_str());
    WriteFileBytes(in / "DATA\\AUDIO\\ambienteA.utf", game);
    ASSERT_TRUE(in.Run("MULTI"));
    const auto report = in.GameReport();
    ASSERT_FALSE(report.empty()) << "the game did not run";
    EXPECT_EQ(report.at("files").find("stale.txt"), std::string::npos);
    EXPECT_FALSE(PathExists(in / "EXE2"));
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
        std::string leftovers = "(not looked)";
        const std::string text = in.RunToMessageBox(mode, [&] { leftovers = TemporaryFilesIn(in / "EXE2"); });
        EXPECT_EQ(text, std::string("Problem starting Multiplayer ... ") + (std::string(mode) == "MULTI" ? "[E5]" : "[E7]"));
        EXPECT_EQ(leftovers, "") << mode;
        EXPECT_FALSE(PathExists(in / "EXE2")) << mode;
    }
}

TEST(StarterProgram, AnythingButAModeWordEndsWithNothingTouched) {
    for (const char* arguments : {"", "MULTI SINGLE", "-MULTI", "multiplayer"}) {
        Install in;
        WriteFileBytes(in / "DATA\\AUDIO\\ambienteC.utf", "new launcher");
        in.Config("DELAY=60000\r\n");
        DWORD elapsed = 0;
        ASSERT_TRUE(in.Run(arguments, &elapsed)) << arguments;
        EXPECT_FALSE(PathExists(in / "EXE2")) << arguments;
        EXPECT_EQ(ReadFileBytes(in / "EXE\\Skyreach.exe"), "the game as installed") << arguments;
        EXPECT_TRUE(in.GameReport().empty()) << arguments;
        EXPECT_FALSE(PathExists(in / "EXE\\vtwd.log")) << arguments;
        // Bound with a reason: DELAY=60000 was not waited; 30 s is more than
        // a start and an end take on the busiest machine.
        EXPECT_LT(elapsed, 30000u) << arguments;
    }
}

// Settings that would make the starter empty, fill or overwrite what it did
// not make: one refusal box, and nothing copied, deleted or run. Every alias
// is a real one: a trailing dot, the install folder's real 8.3 name, a real
// symlink, "..".
TEST(StarterProgram, SettingsThatWouldTouchForeignFilesAreRefused) {
    struct Case {
        const char* name;
        std::string config;
        std::string expected;  // in the box's text
        void (*prepare)(const Install&);
    };
    const std::vector<Case> cases = {
        {"the game folder", "CLONEDIR=..\\EXE\\\r\n", "cannot be used", nullptr},
        {"the install folder", "CLONEDIR=..\\\r\n", "cannot be used", nullptr},
        {"a drive root", "CLONEDIR=..\\..\\..\\..\\..\\..\\..\\..\\..\\..\\\r\n", "cannot be used", nullptr},
        {"a trailing dot", "CLONEDIR=..\\EXE.\\\r\n", "cannot be used", nullptr},
        {"an 8.3 name", "", "cannot be used", nullptr},  // config made below
        {"a link at EXE2", "", "cannot be used",
         [](const Install& in) { ASSERT_TRUE(MakeUnixSymlink(in.Sandbox() + "Documents", in / "EXE2")); }},
        {"the data folder", "CLONEDIR=..\\DATA\\\r\n", "cannot be used", nullptr},
        {"a folder outside", "CLONEDIR=..\\..\\Documents\\\r\n", "cannot be used", nullptr},
        {"a player's folder at EXE2", "", "cannot be used",
         [](const Install& in) {
             MakeFolder(in / "EXE2");
             WriteFileBytes(in / "EXE2\\mine.txt", "a player's file");
         }},
        {"SRNAME leaving the folder", "SRNAME=..\\..\\Documents\\letter.txt\r\n", "SRNAME=", nullptr},
        {"SRNAME with a drive", "SRNAME=C:game.exe\r\n", "SRNAME=", nullptr},
    };
    for (const Case& c : cases) {
        Install in;
        WriteFileBytes(in / "DATA\\AUDIO\\ambienteC.utf", "new launcher");
        std::string config = c.config;
        if (std::string(c.name) == "an 8.3 name") {
            const std::string shortRoot = ShortPath(in.Root());
            ASSERT_FALSE(shortRoot.empty());
            ASSERT_NE(shortRoot, in.Root());
            std::string shortName = shortRoot.substr(0, shortRoot.size() - 1);
            shortName = shortName.substr(shortName.find_last_of('\\') + 1);
            config = "CLONEDIR=..\\..\\" + shortName + "\\EXE\\\r\n";
        }
        in.Config(config + "DELAY=0\r\n");
        if (c.prepare) c.prepare(in);
        const auto exeBefore = TreeSnapshot(in / "EXE");
        const auto dataBefore = TreeSnapshot(in / "DATA");

        const std::string text = in.RunToMessageBox("MULTI", [] {});
        EXPECT_NE(text.find(c.expected), std::string::npos) << c.name << ": " << text;
        auto exeAfter = TreeSnapshot(in / "EXE");
        exeAfter.erase("vtwd.log");
        EXPECT_EQ(ChangedNames(exeBefore, exeAfter), "") << c.name;
        EXPECT_EQ(ChangedNames(dataBefore, TreeSnapshot(in / "DATA")), "") << c.name;
        EXPECT_TRUE(in.GameReport().empty()) << c.name;
        if (std::string(c.name) == "a player's folder at EXE2") {
            EXPECT_EQ(ReadFileBytes(in / "EXE2\\mine.txt"), "a player's file");
        }
        const std::string log = ReadFileBytes(in / "EXE\\vtwd.log");
        EXPECT_NE(log.find(" REFUSED "), std::string::npos) << c.name << ":\n" << log;
    }
}

// The new launcher file is copied beside its target and moved over it in one
// step: when the copy fails (its source held open without sharing by another
// program), the old launcher stays, and no temporary file is left.
TEST(StarterProgram, NewLauncherThatCannotBeReadLeavesTheOldOneInPlace) {
    Install in;
    in.Config("DELAY=0\r\n");
    WriteFileBytes(in / "DATA\\AUDIO\\ambienteC.utf", "new launcher");
    win::UniqueFileHandle holder(::CreateFileA((in / "DATA\\AUDIO\\ambienteC.utf").c_str(), GENERIC_READ, 0, nullptr,
                                               OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(holder);
    ASSERT_TRUE(in.Run("MULTI"));
    holder.reset();
    EXPECT_EQ(ReadFileBytes(in / "EXE\\Skyreach.exe"), "the game as installed");
    EXPECT_EQ(TemporaryFilesIn(in / "EXE"), "");
    EXPECT_FALSE(in.GameReport().empty()) << "the start should go on";
    EXPECT_NE(ReadFileBytes(in / "EXE\\vtwd.log").find("not installed"), std::string::npos);
}

TEST(StarterProgram, GameThatCannotStartIsNamedAndTheCloneStays) {
    Install in;
    WriteFileBytes(in / "DATA\\AUDIO\\ambienteA.utf", "this is not a program");
    const std::string text = in.RunToMessageBox("MULTI", [] {});
    EXPECT_NE(text.find("Cannot start"), std::string::npos) << text;
    EXPECT_NE(text.find("Skyreach.exe"), std::string::npos) << text;
    EXPECT_EQ(in.LastBoxOwner(), "VT_StarterMainForm") << "the unhandled-failure box has no owner";
    EXPECT_TRUE(PathExists(in / "EXE2\\Skyreach.exe"));
}

// A game whose executable starts the real game and ends at once: the clone
// stays until the last process of the game has ended.
TEST(StarterProgram, WaitsForTheGameAndEveryProcessItStarted) {
    Install in;
    in.Config("DELAY=0\r\n");
    ::SetEnvironmentVariableA("VT_STANDIN_CHILD", "1");
    ::SetEnvironmentVariableA("VT_STANDIN_CHILD_MS", "4000");
    DWORD elapsed = 0;
    const bool ended = in.Run("MULTI", &elapsed);
    ::SetEnvironmentVariableA("VT_STANDIN_CHILD", nullptr);
    ::SetEnvironmentVariableA("VT_STANDIN_CHILD_MS", nullptr);
    ASSERT_TRUE(ended);
    EXPECT_FALSE(in.GameReport().empty());
    const std::string child = ReadFileBytes(in.Report() + ".child");
    ASSERT_FALSE(child.empty()) << "the child did not run before the starter ended";
    EXPECT_NE(child.find("exe=" + (in / "EXE2\\Skyreach.exe")), std::string::npos) << "the child ran elsewhere:\n" << child;
    EXPECT_GE(elapsed, 4000u) << "the starter did not wait for the game's child";
    EXPECT_FALSE(PathExists(in / "EXE2"));
}

// File links in the game folder are files to the game: the clone holds them.
TEST(StarterProgram, FileLinksInTheGameFolderAreCopiedIntoTheClone) {
    Install in;
    in.Config("DELAY=0\r\n");
    ASSERT_TRUE(MakeUnixSymlink(in.Sandbox() + "Documents\\letter.txt", in / "EXE\\linked.txt"));
    ASSERT_TRUE(in.Run("MULTI"));
    const auto game = in.GameReport();
    ASSERT_FALSE(game.empty()) << "the game did not run";
    EXPECT_NE(game.at("files").find("linked.txt"), std::string::npos) << game.at("files");
}

// DELAY= beyond a minute waits a minute: 2147483647 would be 24 days.
TEST(StarterProgram, NewLauncherDelayIsAtMostAMinute) {
    Install in;
    in.Config("DELAY=2147483647\r\n");
    WriteFileBytes(in / "DATA\\AUDIO\\ambienteC.utf", "new launcher");
    const ULONGLONG begin = ::GetTickCount64();
    win::UniqueKernelHandle process = in.Start("MULTI");
    ASSERT_TRUE(process);
    const bool ended = ::WaitForSingleObject(process.get(), 90000) == WAIT_OBJECT_0;
    if (!ended) ::TerminateProcess(process.get(), 1);
    const ULONGLONG elapsed = ::GetTickCount64() - begin;
    ASSERT_TRUE(ended) << "still waiting after 90 s";
    EXPECT_GE(elapsed, 59000u);
    EXPECT_EQ(ReadFileBytes(in / "EXE\\Skyreach.exe"), "new launcher");
}

// A starter folder where the log cannot be written (here a folder in the
// log's place) keeps its log in the user's local application data folder.
TEST(StarterProgram, LogGoesToLocalAppDataWhenItsFolderCannotTakeIt) {
    Install in;
    in.Config("DELAY=0\r\n");
    MakeFolder(in / "EXE\\vtwd.log");
    char local[MAX_PATH] = {};
    ASSERT_TRUE(::GetEnvironmentVariableA("LOCALAPPDATA", local, MAX_PATH));
    const std::string fallback = std::string(local) + "\\Vortane\\vtwd.log";
    ::DeleteFileA(fallback.c_str());
    ASSERT_TRUE(in.Run("MULTI"));
    const std::string log = ReadFileBytes(fallback);
    EXPECT_NE(log.find(" LOG "), std::string::npos) << log;
    EXPECT_NE(log.find("vtwd.log cannot be written"), std::string::npos) << log;
    EXPECT_NE(log.find(" GAME ended"), std::string::npos) << log;
}

// A file link planted in a clone left behind (the starter was killed while
// the game ran) points at a player's file outside: the removal never deletes
// through it, and never deletes it either (the starter did not make it).
TEST(StarterProgram, AFileLinkInALeftoverCloneNeverCostsTheFileItPointsTo) {
    Install in;
    in.Config("DELAY=0\r\n");
    const std::string game = ReadFileBytes(in / "DATA\\AUDIO\\ambienteA.utf");
    WriteFileBytes(in / "DATA\\AUDIO\\ambienteA.utf", "this is not a program");
    in.RunToMessageBox("MULTI", [] {});
    ASSERT_TRUE(PathExists(in / "EXE2\\vtwd-clone.marker")) << "no leftover clone";
    ASSERT_TRUE(MakeUnixSymlink(in.Sandbox() + "Documents\\letter.txt", in / "EXE2\\file.lnk"));
    WriteFileBytes(in / "DATA\\AUDIO\\ambienteA.utf", game);
    ASSERT_TRUE(in.Run("MULTI"));
    EXPECT_EQ(ReadFileBytes(in.Sandbox() + "Documents\\letter.txt"), "a player's letter");
    EXPECT_FALSE(in.GameReport().empty()) << "the game did not run";
    EXPECT_TRUE(PathExists(in / "EXE2\\file.lnk")) << "what the starter did not make stays";
    EXPECT_FALSE(PathExists(in / "EXE2\\game.dll")) << "what the starter made goes";
    EXPECT_NE(ReadFileBytes(in / "EXE\\vtwd.log").find("the clone stays"), std::string::npos);
}

// A second starter while the game of the first runs: one box, and the clone
// of the running game is not touched.
TEST(StarterProgram, ASecondStarterLeavesTheRunningGamesCloneAlone) {
    Install in;
    in.Config("DELAY=0\r\n");
    ::SetEnvironmentVariableA("VT_STANDIN_SLEEP_MS", "6000");
    win::UniqueKernelHandle first = in.Start("MULTI");
    ::SetEnvironmentVariableA("VT_STANDIN_SLEEP_MS", nullptr);
    ASSERT_TRUE(first);
    for (int i = 0; i < 200 && in.GameReport().empty(); ++i) ::Sleep(50);
    ASSERT_FALSE(in.GameReport().empty()) << "the first game did not start";
    const auto cloneBefore = TreeSnapshot(in / "EXE2");
    std::map<std::string, std::string> cloneWhileShown;
    const std::string text = in.RunToMessageBox("MULTI", [&] { cloneWhileShown = TreeSnapshot(in / "EXE2"); });
    EXPECT_NE(text.find("already running"), std::string::npos) << text;
    EXPECT_EQ(ChangedNames(cloneBefore, cloneWhileShown), "");
    EXPECT_EQ(ChangedNames(cloneBefore, TreeSnapshot(in / "EXE2")), "");
    EXPECT_EQ(::WaitForSingleObject(first.get(), kRunTimeoutMs), WAIT_OBJECT_0);
    EXPECT_FALSE(PathExists(in / "EXE2")) << "the first starter's clone was not removed";
}

// A copy that fails part-way (here a game file another program holds without
// sharing) stops the start before the game runs, names the file in the box,
// and removes what was copied.
TEST(StarterProgram, ACopyErrorStopsTheStartAndNamesTheFile) {
    for (const char* mode : {"MULTI", "SINGLE"}) {
        Install in;
        in.Config("DELAY=0\r\n");
        win::UniqueFileHandle holder(::CreateFileA((in / "EXE\\game.dll").c_str(), GENERIC_READ, 0, nullptr,
                                                   OPEN_EXISTING, 0, nullptr));
        ASSERT_TRUE(holder);
        const std::string text = in.RunToMessageBox(mode, [] {});
        holder.reset();
        const std::string code = std::string(mode) == "MULTI" ? "[E5]" : "[E7]";
        EXPECT_EQ(text.rfind("Problem starting Multiplayer ... " + code, 0), 0u) << text;
        EXPECT_NE(text.find("game.dll"), std::string::npos) << text;
        EXPECT_TRUE(in.GameReport().empty()) << mode << ": the game started in an incomplete clone";
        EXPECT_FALSE(PathExists(in / "EXE2")) << mode;
    }
}

// On a small volume of its own (tests/win/small_disk.sh mounts one): a clone
// that does not fit stops the start before the game runs, the box names the
// file and the cause, and what was copied is removed again.
TEST(SmallDisk, AFullDiskStopsTheStartBeforeTheGameRuns) {
    const std::string disk = SmallDisk();
    if (disk.empty()) GTEST_SKIP() << "runs in tests/win/small_disk.sh, on its volume";
    Install in(disk);
    in.Config("DELAY=0\r\n");
    const std::uint64_t free = FreeBytes(in.Root());
    ASSERT_GT(free, 8u * 1024 * 1024);
    WriteFileBytes(in / "EXE\\game3.pak", std::string(free - 3 * 1024 * 1024, 'g'));
    const std::string text = in.RunToMessageBox("MULTI", [] {});
    EXPECT_EQ(text.rfind("Problem starting Multiplayer ... [E5]", 0), 0u) << text;
    EXPECT_NE(text.find("game3.pak"), std::string::npos) << text;
    EXPECT_TRUE(in.GameReport().empty()) << "the game started in an incomplete clone";
    EXPECT_FALSE(PathExists(in / "EXE2"));
    EXPECT_GT(FreeBytes(in.Root()), 2u * 1024 * 1024) << "the partial clone was left";
}
