// The real VT_Update.exe in a fresh install folder against the test update
// server, driven through its window like a player would, under Wine and Xvfb.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <ctime>
#include <optional>
#include <set>
#include <functional>
#include <map>

#include "platform/scope_exit.h"
#include "platform/win/handles.h"
#include "support/test_support.h"
#include "launcher/rules/side_file.h"
#include "test_server.h"
#include "tools/vtlist/side_make.h"
#include "tools/vtlist/signing.h"
#include "ui_driver.h"

using namespace vt;
using namespace vt::test;
using vt::testing::Fault;
using vt::testing::TestServer;

namespace {

constexpr char kCaption[] = "Vortane Mod Launcher V1.56";
constexpr char kMarkerPage[] = "<!-- Vortane Mod Launcher -->\r\n<html><body>news</body></html>\r\n";
constexpr DWORD kWaitMs = 20000;

// The words a player reads in `window`: its picture as the screen shows it,
// read by Debian's tesseract. Wine starts a Linux program like any other but
// gives no process handle to wait on, so the result file is awaited.
std::string ReadWordsOnScreen(HWND window) {
    const std::string build = BuildDir();  // "Z:\..." : the same folder seen from Linux
    if (build.rfind("Z:\\", 0) != 0) return "(the build folder is not on Z:)";
    static int shots = 0;
    const std::string name = "ocr-" + std::to_string(::GetCurrentProcessId()) + "-" + std::to_string(++shots);
    const std::string folder = build + "tests\\win\\";
    if (!ui::SaveWindowPicture(window, folder + name + ".bmp")) return "(no picture)";
    std::string unix = folder.substr(2);
    for (char& c : unix)
        if (c == '\\') c = '/';
    const std::string base = unix + name;
    // Doubled in size: a small screen font reads better so, as it does to a person.
    std::string command = "Z:\\usr\\bin\\sh -c \"convert '" + base + ".bmp' -resize 200% '" + base + ".png' && tesseract '" +
                          base + ".png' '" + base + "' >/dev/null 2>&1; mv '" + base + ".txt' '" + base + ".done'\"";
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    if (!::CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info))
        return "(tesseract cannot be started)";
    ::CloseHandle(info.hThread);
    ::CloseHandle(info.hProcess);
    const std::string done = folder + name + ".done";
    for (int i = 0; i < 600 && !PathExists(done); ++i) ::Sleep(100);
    std::string words = ReadFileBytes(done);
    for (const char* suffix : {".bmp", ".png", ".done"}) ::DeleteFileA((folder + name + suffix).c_str());
    for (char& c : words)
        if (c == '\n' || c == '\r') c = ' ';
    return words;
}

std::string Unavailable(const char* code) {
    return std::string("Vortane Update not found ... only Singleplayer available [") + code + "]";
}

Fault StallFor(int ms) {
    Fault f;
    f.kind = Fault::Kind::Stall;
    f.ms = ms;
    return f;
}

class Launcher : public ::testing::Test {
protected:
    Launcher() : server(root.path()) {
        MakeFolder(root / "VTupdates");
        MakeFolder(root / "VTupdates\\maps");
        Serve("start.htm", kMarkerPage);
        Serve("update.dat", "update list\r\nmaps/arena.ini\t|DATA/MAPS/arena.ini\t|2008-01-28 14:30\r\nreadme.txt\t|readme.txt\t|immer\r\n");
        Serve("maps\\arena.ini", "[arena]");
        Serve("readme.txt", "read me");
        MakeFolder(install / "VT");
        ::CopyFileA((BuildDir() + "launcher\\VT_Update.exe").c_str(), App("VT_Update.exe").c_str(), FALSE);
        WriteFileBytes(App("LocalLauncher.htm"), "<html>offline</html>");
        Config("");
    }
    ~Launcher() override {
        if (process_) {
            ::TerminateProcess(process_.get(), 1);
            ::WaitForSingleObject(process_.get(), 5000);
        }
    }

    void Serve(const std::string& name, const std::string& bytes) { WriteFileBytes(root / ("VTupdates\\" + name), bytes); }
    std::string App(const std::string& name) const { return install / ("VT\\" + name); }
    std::string WebPath() const { return server.BaseUrl() + "/VTupdates/"; }
    void Config(const std::string& extraLines, const std::string& webPath = "") {
        WriteFileBytes(App("UPDATE.CFG"), "WEBPATH=" + (webPath.empty() ? WebPath() : webPath) + "\r\nWEBPAGE=start.htm\r\n" + extraLines);
    }
    std::string Log() const { return ReadFileBytes(App("VT_Update.log")); }

    // Starts the launcher, nothing more.
    void StartProcess() {
        // Once, in a full parallel run, CreateProcess failed here at the third
        // start of a test; a second try a moment later is what a player's
        // double-click would do.
        DWORD error = 0;
        process_.reset();  // a start before this one has ended
        for (int attempt = 0; attempt < 3 && !process_; ++attempt) {
            if (attempt > 0) ::Sleep(500);
            process_ = StartProgram("\"" + App("VT_Update.exe") + "\"", install.path(), &processId_);
            if (!process_) error = ::GetLastError();
        }
        ASSERT_TRUE(process_) << "cannot start VT_Update.exe, error " << error;
    }

    // Starts the launcher and finds its window and controls.
    void Start() {
        StartProcess();
        window = ui::WaitForWindow(processId_, "frmUpdate", kCaption, kWaitMs);
        ASSERT_NE(window, nullptr) << "no launcher window";
        ASSERT_TRUE(ui::WaitUntilVisible(window, kWaitMs)) << "the launcher's window was not shown";
        status = ui::FindChildByClass(window, "Edit");
        multi = ui::WaitForChildByText(window, "LAUNCH Vortane Multiplayer", kWaitMs);
        single = ui::WaitForChildByText(window, "LAUNCH Vortane Singleplayer", kWaitMs);
        quit = ui::WaitForChildByText(window, "Quit", kWaitMs);
        ASSERT_TRUE(status && multi && single && quit);
    }

    // vtlist.exe as a publisher runs it, in the install's folder; its exit
    // status, and what it printed when `output` is given.
    DWORD Vtlist(const std::string& arguments, std::string* output = nullptr) {
        const std::string out = install / "vtlist-out.txt";
        ::DeleteFileA(out.c_str());
        const std::string command = "cmd /c \"\"" + BuildDir() + "tools\\vtlist\\vtlist.exe\" " + arguments + " > \"" + out + "\" 2>&1\"";
        win::UniqueKernelHandle process = StartProgram(command, install.path());
        DWORD code = 99;
        if (process && ::WaitForSingleObject(process.get(), kWaitMs) == WAIT_OBJECT_0)
            ::GetExitCodeProcess(process.get(), &code);
        if (output) *output = ReadFileBytes(out);
        return code;
    }

    std::string Status() const { return ui::WindowText(status); }

    // Waits until the status box shows `text`; false when it did not in time.
    bool WaitForStatus(const std::string& text, DWORD timeoutMs = kWaitMs) const {
        const ULONGLONG deadline = ::GetTickCount64() + timeoutMs;
        while (Status() != text) {
            if (::GetTickCount64() >= deadline) return false;
            ::Sleep(50);
        }
        return true;
    }

    void Kill() {
        ::TerminateProcess(process_.get(), 1);
        ::WaitForSingleObject(process_.get(), 5000);
    }
    bool Ended(DWORD timeoutMs = 10000) const { return ::WaitForSingleObject(process_.get(), timeoutMs) == WAIT_OBJECT_0; }
    HWND WaitForBox(const std::string& title) const { return ui::WaitForMessageBox(processId_, title, kWaitMs); }

    // Lines of the log of one kind ("NAVIGATE"), without their timestamps.
    std::vector<std::string> LogLines(const std::string& kind) const {
        std::vector<std::string> lines;
        const std::string text = Log(), key = " " + kind + " ";
        for (std::size_t start = 0; start < text.size();) {
            std::size_t end = text.find("\r\n", start);
            if (end == std::string::npos) end = text.size();
            const std::string line = text.substr(start, end - start);
            const std::size_t at = line.find(key);
            if (at != std::string::npos && at == 23) lines.push_back(line.substr(at + key.size()));
            start = end + 2;
        }
        return lines;
    }

    TempDir root;
    TempDir install;
    TestServer server;
    HWND window = nullptr, status = nullptr, multi = nullptr, single = nullptr, quit = nullptr;

private:
    win::UniqueKernelHandle process_;
    DWORD processId_ = 0;
};

}  // namespace

TEST_F(Launcher, UpdatesToDoneAndEnablesMultiplayer) {
    WriteFileBytes(App("update.dat"), "an old list under the list's own name");
    Start();
    ASSERT_TRUE(WaitForStatus("Done.")) << Status() << "\n" << Log();
    EXPECT_TRUE(ui::IsEnabled(multi));
    EXPECT_EQ(ReadFileBytes(App("DATA\\MAPS\\arena.ini")), "[arena]");
    EXPECT_EQ(ReadFileBytes(App("readme.txt")), "read me");
    for (const char* gone : {"delete_me.txt", "NEWUPDATE.TXT", "update.dat"}) EXPECT_FALSE(PathExists(App(gone))) << gone;
    EXPECT_EQ(LogLines("NAVIGATE"), std::vector<std::string>{WebPath() + "start.htm"});
    EXPECT_EQ(server.RequestCount("/VTupdates/maps/arena.ini"), 1);
    EXPECT_NE(Log().find(" FETCH " + WebPath() + "maps/arena.ini -> "), std::string::npos) << "URLs are logged with /";
}

TEST_F(Launcher, OpensWithADotAndMultiplayerDisabledAndQuitsDuringASlowTransfer) {
    server.SetFault("/VTupdates/start.htm", StallFor(60000));
    Start();
    EXPECT_EQ(Status(), ".");
    EXPECT_FALSE(ui::IsEnabled(multi));
    EXPECT_TRUE(ui::IsEnabled(single));
    EXPECT_TRUE(ui::IsEnabled(quit));
    ::Sleep(500);  // the probe is under way: the window must still answer
    EXPECT_EQ(Status(), ".");
    ui::Click(quit);
    // Bound with a reason: the probe stalls for 60 s, so an end within 20 s
    // (however busy the machine) is Quit's, not the transfer's.
    EXPECT_TRUE(Ended(20000)) << "Quit did not end the launcher during a transfer";
    EXPECT_FALSE(PathExists(App("delete_me.txt")));
}

// Quit while several fetches are under way: every file is the player's as it
// was, and the next run continues the partial files with range requests.
TEST_F(Launcher, QuitDuringParallelFetchesReplacesNothingAndTheNextRunContinues) {
    std::string list = "update list\r\n";
    // Over 1 MiB arrives at once: a whole read's worth reaches each partial
    // file (a read returns only when its 1 MiB buffer is full).
    const std::string big(2500000, 'b');
    Fault drip;
    drip.kind = Fault::Kind::Drip;
    drip.bytes = 1500000;
    drip.ms = 200;
    for (int i = 0; i < 4; ++i) {
        const std::string name = "pak" + std::to_string(i) + ".bin";
        Serve(name, big);
        server.SetFault("/VTupdates/" + name, drip);
        WriteFileBytes(App(name), "player's " + name);
        list += name + "|" + name + "|immer\r\n";
    }
    Serve("update.dat", list);
    Start();
    const ULONGLONG deadline = ::GetTickCount64() + kWaitMs;
    while (server.RequestCount("/VTupdates/pak3.bin") == 0 && ::GetTickCount64() < deadline) ::Sleep(50);
    ASSERT_EQ(server.RequestCount("/VTupdates/pak3.bin"), 1) << Log();
    EXPECT_GE(server.PeakAnswers(), 4);
    ::Sleep(1000);  // the first MiB of each is written
    ui::Click(quit);
    ASSERT_TRUE(Ended(5000)) << "Quit did not end the launcher during its fetches";
    for (int i = 0; i < 4; ++i) {
        const std::string name = "pak" + std::to_string(i) + ".bin";
        EXPECT_EQ(ReadFileBytes(App(name)), "player's " + name);
        EXPECT_TRUE(PathExists(App(name + ".vtresume"))) << name;
    }

    server.ClearFaults();
    Start();
    ASSERT_TRUE(WaitForStatus("Done.")) << Status() << "\n" << Log();
    int continued = 0;
    for (const auto& request : server.Requests())
        if (request.target.rfind("/VTupdates/pak", 0) == 0 && request.status == 206) ++continued;
    EXPECT_EQ(continued, 4) << Log();
    for (int i = 0; i < 4; ++i) {
        const std::string name = "pak" + std::to_string(i) + ".bin";
        EXPECT_EQ(ReadFileBytes(App(name)), big) << name;
        EXPECT_FALSE(PathExists(App(name + ".vtpart"))) << name;
        EXPECT_FALSE(PathExists(App(name + ".vtresume"))) << name;
    }
}

// The publisher's road: vtlist.exe makes a key and signs the list, the
// launcher with PUBLICKEY= installs the release; a file changed on the server
// after signing is E4, and the player's file stays.
TEST_F(Launcher, ASignedReleaseIsInstalledAndAFileChangedAfterSigningIsRefused) {
    const std::string keyFile = install / "publisher.key";
    ASSERT_EQ(Vtlist("keygen \"" + keyFile + "\""), 0u);
    EXPECT_EQ(Vtlist("keygen \"" + keyFile + "\""), 1u) << "a key file is never overwritten";
    ASSERT_EQ(Vtlist("sign \"" + (root / "VTupdates\\update.dat") + "\" --root \"" + (root / "VTupdates") + "\" --key \"" +
                  keyFile + "\""),
              0u);
    const auto key = vtlist::ParseKeyFile(ReadFileBytes(keyFile));
    ASSERT_TRUE(key);
    Config("PUBLICKEY=" + launcher::FormatPublicKey(key->point) + "\r\n");
    Start();
    ASSERT_TRUE(WaitForStatus("Done.")) << Status() << "\n" << Log();
    EXPECT_EQ(ReadFileBytes(App("readme.txt")), "read me");
    ui::Click(quit);
    ASSERT_TRUE(Ended());

    Serve("readme.txt", "read ME");  // changed on the server, not signed
    WriteFileBytes(App("readme.txt"), "a player's old readme");  // differs: fetched
    Start();
    ASSERT_TRUE(WaitForStatus(Unavailable("E4"))) << Status() << "\n" << Log();
    EXPECT_EQ(ReadFileBytes(App("readme.txt")), "a player's old readme");
}

// The publisher's releases over time, through vtlist.exe and the real
// launcher: numbered releases, key changes, what is not covered by a hash.
class Releases : public Launcher {
protected:
    vtlist::KeyPair Keygen(const std::string& name) {
        EXPECT_EQ(Vtlist("keygen \"" + (install / name) + "\""), 0u);
        return vtlist::ParseKeyFile(ReadFileBytes(install / name)).value_or(vtlist::KeyPair{});
    }
    // The server's release: readme.txt says `readme`; signed by `key` with `options`.
    void Release(const std::string& readme, const std::string& key, const std::string& options,
                 std::string* output = nullptr) {
        server.WaitUntilIdle(5000);
        Serve("readme.txt", readme);
        ASSERT_EQ(Vtlist("sign \"" + (root / "VTupdates\\update.dat") + "\" --root \"" + (root / "VTupdates") +
                             "\" --key \"" + (install / key) + "\" " + options,
                         output),
                  0u);
    }
    std::map<std::string, std::string> Saved() {
        std::map<std::string, std::string> files;
        for (const char* name : {"update.dat", "update.dat.vtsums", "readme.txt", "maps\\arena.ini"})
            files[name] = ReadFileBytes(root / (std::string("VTupdates\\") + name));
        return files;
    }
    void ServeAgain(const std::map<std::string, std::string>& files) {
        server.WaitUntilIdle(5000);
        for (const auto& [name, bytes] : files) Serve(name, bytes);
    }
    bool RunTo(const std::string& wanted) {
        Start();
        const bool reached = WaitForStatus(wanted);
        ui::Click(quit);
        EXPECT_TRUE(Ended());
        return reached;
    }
};

// Someone on the way who saved release A serves it again to a player at B.
TEST_F(Releases, AnOlderSignedReleaseServedAgainIsRefused) {
    const vtlist::KeyPair key = Keygen("publisher.key");
    Config("PUBLICKEY=" + launcher::FormatPublicKey(key.point) + "\r\n");
    Release("read me A", "publisher.key", "--release 100");
    const auto releaseA = Saved();
    Release("read me B", "publisher.key", "--release 200");
    ASSERT_TRUE(RunTo("Done.")) << Status() << "\n" << Log();
    ASSERT_EQ(ReadFileBytes(App("readme.txt")), "read me B");

    ServeAgain(releaseA);
    ASSERT_TRUE(RunTo(Unavailable("E1"))) << Status() << "\n" << Log();
    EXPECT_EQ(ReadFileBytes(App("readme.txt")), "read me B") << "release A's file was put back";
    EXPECT_NE(Log().find("release 100 is offered, but release 200 is installed"), std::string::npos) << Log();
    EXPECT_EQ(server.RequestCount("/VTupdates/readme.txt"), 1) << "a file was fetched for the refused release";
}

TEST_F(Releases, AnExpiredSideFileIsRefused) {
    const vtlist::KeyPair key = Keygen("publisher.key");
    Config("PUBLICKEY=" + launcher::FormatPublicKey(key.point) + "\r\n");
    vtlist::SideOptions options;
    const std::uint64_t now = static_cast<std::uint64_t>(::time(nullptr));
    options.release = now - 10 * 86400;
    options.validity = launcher::Validity{now - 10 * 86400, now - 86400};  // made with --expires 9, ten days ago
    std::vector<std::string> problems;
    const std::string list = ReadFileBytes(root / "VTupdates\\update.dat");
    Serve("update.dat.vtsums", vtlist::MakeSideFile(list, root / "VTupdates", options, &key, problems));
    ASSERT_TRUE(problems.empty()) << problems[0];
    ASSERT_TRUE(RunTo(Unavailable("E1"))) << Status() << "\n" << Log();
    EXPECT_NE(Log().find("the side file expired on "), std::string::npos) << Log();
    EXPECT_FALSE(PathExists(App("readme.txt")));
}

// A player who skipped the release that announced a new key still updates,
// through the old key's statement; the retired key signs nothing after that.
TEST_F(Releases, AKeyChangeIsFollowedAndTheRetiredKeyIsRefused) {
    const vtlist::KeyPair old = Keygen("old.key");
    Keygen("new.key");
    Config("PUBLICKEY=" + launcher::FormatPublicKey(old.point) + "\r\n");
    Release("read me 1", "old.key", "--release 100");
    ASSERT_TRUE(RunTo("Done.")) << Status() << "\n" << Log();

    std::string said;
    ASSERT_EQ(Vtlist("rotate \"" + (install / "old.key") + "\" \"" + (install / "new.key") + "\"", &said), 0u) << said;
    Release("read me 3", "new.key", "", &said);  // default release number: the time of signing
    EXPECT_NE(said.find("1 key change(s)"), std::string::npos) << said;
    ASSERT_TRUE(RunTo("Done.")) << Status() << "\n" << Log();
    EXPECT_EQ(ReadFileBytes(App("readme.txt")), "read me 3");
    EXPECT_NE(Log().find("the key changed from "), std::string::npos) << Log();

    Release("read me 4, signed with a stolen old key", "old.key", "");
    ASSERT_TRUE(RunTo(Unavailable("E1"))) << Status() << "\n" << Log();
    EXPECT_EQ(ReadFileBytes(App("readme.txt")), "read me 3");
    EXPECT_NE(Log().find("retired key"), std::string::npos) << Log();
}

// A publisher who rotates back (A to B, then B to A) does not make B a key
// to trust again: whoever holds B could otherwise sign with the published
// A-to-B statement. The launcher that left A does not go back to it, and B
// stays refused. vtlist rotate refuses such a change, so the statement is
// written here as a hand-made tool would.
TEST_F(Releases, AKeyLeftIsNeverTrustedAgainAfterARotationBack) {
    const vtlist::KeyPair a = Keygen("a.key");
    const vtlist::KeyPair b = Keygen("b.key");
    Config("PUBLICKEY=" + launcher::FormatPublicKey(a.point) + "\r\n");
    std::string said;
    ASSERT_EQ(Vtlist("rotate \"" + (install / "a.key") + "\" \"" + (install / "b.key") + "\"", &said), 0u) << said;
    Release("read me B", "b.key", "--release 100");
    ASSERT_TRUE(RunTo("Done.")) << Status() << "\n" << Log();
    ASSERT_EQ(ReadFileBytes(App("readme.txt")), "read me B");

    const std::string aToB = ReadFileBytes(install / "b.key.vtrotate");
    const auto back = vtlist::SignDigest(b, vtlist::Sha256Of(launcher::KeyChangeMessage(b.point, a.point)));
    ASSERT_TRUE(back);
    WriteFileBytes(install / "a.key.vtrotate", aToB + launcher::FormatKeyChangeLine({b.point, a.point, *back}));
    Release("read me A again", "a.key", "--release 200");
    ASSERT_TRUE(RunTo(Unavailable("E1"))) << Status() << "\n" << Log();
    EXPECT_NE(Log().find("leads back to a key this launcher retired before"), std::string::npos) << Log();
    EXPECT_EQ(ReadFileBytes(App("readme.txt")), "read me B");

    // The launcher stays with B; on to C, and C back to B is refused too, as
    // is B alone with the statement that once led to it.
    const vtlist::KeyPair c = Keygen("c.key");
    ASSERT_EQ(Vtlist("rotate \"" + (install / "b.key") + "\" \"" + (install / "c.key") + "\"", &said), 0u) << said;
    Release("read me C", "c.key", "--release 400");
    ASSERT_TRUE(RunTo("Done.")) << Status() << "\n" << Log();
    ASSERT_EQ(ReadFileBytes(App("readme.txt")), "read me C");
    const auto cToB = vtlist::SignDigest(c, vtlist::Sha256Of(launcher::KeyChangeMessage(c.point, b.point)));
    ASSERT_TRUE(cToB);
    WriteFileBytes(install / "b.key.vtrotate", ReadFileBytes(install / "c.key.vtrotate") +
                                                   launcher::FormatKeyChangeLine({c.point, b.point, *cToB}));
    Release("read me, B back again", "b.key", "--release 500");
    ASSERT_TRUE(RunTo(Unavailable("E1"))) << Status() << "\n" << Log();
    EXPECT_EQ(ReadFileBytes(App("readme.txt")), "read me C");
    WriteFileBytes(install / "b.key.vtrotate", aToB);
    Release("read me, signed with a stolen B", "b.key", "--release 600");
    ASSERT_TRUE(RunTo(Unavailable("E1"))) << Status() << "\n" << Log();
    EXPECT_NE(Log().find("signed by the retired key " + launcher::FormatPublicKey(b.point).substr(0, 16)),
              std::string::npos)
        << Log();
    EXPECT_EQ(ReadFileBytes(App("readme.txt")), "read me C");
}

TEST_F(Releases, EntriesNotCoveredByAHashAreNamed) {
    const vtlist::KeyPair key = Keygen("publisher.key");
    Config("PUBLICKEY=" + launcher::FormatPublicKey(key.point) + "\r\n");
    std::string said;
    Release("read me", "publisher.key", "--unhashed readme.txt", &said);
    EXPECT_NE(said.find("1 entry is not covered by a hash"), std::string::npos) << said;
    EXPECT_NE(said.find("2 readme.txt"), std::string::npos) << said;
    ASSERT_TRUE(RunTo("Done.")) << Status() << "\n" << Log();
    EXPECT_NE(Log().find(" ENTRY 2 " + App("readme.txt") + ": not covered by a hash in the signed side file"),
              std::string::npos)
        << Log();
    EXPECT_EQ(Log().find(" ENTRY 1 " + App("DATA\\MAPS\\arena.ini") + ": not covered"), std::string::npos);
}

// Files saved by a Linux editor (LF line ends) are read line by line: the
// list's entries are fetched, and PUBLICKEY= after the first line is not lost
// (it once was, which silently turned signature checking off).
TEST_F(Launcher, LinuxLineEndsInTheConfigAndTheListAreReadAsWritten) {
    const std::string list = "update list\nmaps/arena.ini\t|DATA/MAPS/arena.ini\t|2008-01-28 14:30\nreadme.txt|readme.txt|immer\n";
    Serve("update.dat", list);
    WriteFileBytes(App("UPDATE.CFG"), "WEBPATH=" + WebPath() + "\nWEBPAGE=start.htm\n");
    Start();
    ASSERT_TRUE(WaitForStatus("Done.")) << Status() << "\n" << Log();
    EXPECT_EQ(ReadFileBytes(App("DATA\\MAPS\\arena.ini")), "[arena]");
    EXPECT_EQ(ReadFileBytes(App("readme.txt")), "read me");
    ui::Click(quit);
    ASSERT_TRUE(Ended());

    std::vector<std::string> problems;
    Serve("update.dat.vtsums", vtlist::MakeSideFile(list, root / "VTupdates", {}, nullptr, problems));
    ASSERT_TRUE(problems.empty()) << problems[0];
    const auto key = vtlist::GenerateKeyPair();
    ASSERT_TRUE(key);
    WriteFileBytes(App("UPDATE.CFG"), "WEBPATH=" + WebPath() + "\nWEBPAGE=start.htm\nPUBLICKEY=" +
                                          launcher::FormatPublicKey(key->point) + "\n");
    WriteFileBytes(App("readme.txt"), "player's readme");
    Start();
    ASSERT_TRUE(WaitForStatus(Unavailable("E1"))) << Status() << "\n" << Log();
    EXPECT_NE(Log().find("the side file is not signed"), std::string::npos) << Log();
    EXPECT_EQ(ReadFileBytes(App("readme.txt")), "player's readme");
}

// Without a side file sizes come only with the answers: a big file arrives
// slowly as entry 1 while five small entries after it are done at once. The
// status names entry 1, the one the run waits for, then the entry of all
// entries and the bytes as they arrive, and no time left, which would be a
// guess. The log keeps the entry's text alone.
TEST_F(Launcher, WithoutASideFileTheStatusCountsEntriesAndBytesAsTheyArrive) {
    constexpr std::size_t kBig = 6 * 1000 * 1000;
    Serve("big.bin", std::string(kBig, 'B'));
    Fault slow;
    slow.kind = Fault::Kind::Throttle;
    slow.bytes = 1200 * 1000;  // about 5 s
    server.SetFault("/VTupdates/big.bin", slow);
    std::string list = "update list\r\nbig.bin|big.bin|immer\r\n";
    for (int i = 1; i <= 5; ++i) {
        Serve("s" + std::to_string(i) + ".txt", "small " + std::to_string(i));
        list += "s" + std::to_string(i) + ".txt|s" + std::to_string(i) + ".txt|immer\r\n";
    }
    Serve("update.dat", list);
    Start();
    std::vector<std::string> seen;
    const ULONGLONG deadline = ::GetTickCount64() + 30000;
    for (std::string text; (text = Status()) != "Done." && ::GetTickCount64() < deadline; ::Sleep(40))
        if (seen.empty() || seen.back() != text) seen.push_back(text);
    ASSERT_EQ(Status(), "Done.") << Log();
    EXPECT_EQ(ReadFileBytes(App("big.bin")).size(), kBig);
    std::string all;
    std::set<std::string> amounts;  // "1.0 MB", "2.0 MB", ...
    for (const std::string& text : seen) {
        all += text + "\n";
        const std::string counted = "DOWNLOADING File 1 ... 1 of 6 files, ";
        if (text.rfind(counted, 0) == 0) amounts.insert(text.substr(counted.size(), text.find(',', counted.size())));
        EXPECT_EQ(text.find(" left"), std::string::npos) << "a time left without sizes: " << text;
    }
    for (int i = 2; i <= 6; ++i)
        EXPECT_EQ(all.find("DOWNLOADING File " + std::to_string(i) + " "), std::string::npos)
            << "entry " << i << " named while entry 1 was awaited:\n" << all;
    EXPECT_GE(amounts.size(), 3u) << "the bytes did not go up as they arrived:\n" << all;
    for (const std::string& line : LogLines("STATUS")) EXPECT_EQ(line.find(" of 6 files"), std::string::npos) << line;
}

namespace {

// "412.0 of 1,230.5 MB, 5.2 MB/s, 3 min left" read back: the bytes fetched
// and all, in MB, and the seconds left (-1 when none is said).
struct WholeFigures {
    double done = 0, total = 0;
    int secondsLeft = -1;
};
std::optional<WholeFigures> ReadWholeFigures(const std::string& text) {
    const std::size_t of = text.find(" of ");
    const std::size_t mb = text.find(" MB", of == std::string::npos ? 0 : of);
    const std::size_t dots = text.find(" ... ");
    if (of == std::string::npos || mb == std::string::npos || dots == std::string::npos || text.find(" files") != std::string::npos)
        return std::nullopt;
    auto number = [](std::string digits) {
        digits.erase(std::remove(digits.begin(), digits.end(), ','), digits.end());
        return std::atof(digits.c_str());
    };
    WholeFigures figures;
    figures.done = number(text.substr(dots + 5, of - dots - 5));
    figures.total = number(text.substr(of + 4, mb - of - 4));
    const std::size_t left = text.find(" left");
    if (left != std::string::npos) {
        const std::size_t comma = text.rfind(", ", left);
        const std::string amount = text.substr(comma + 2, left - comma - 2);  // "45 s", "3 min"
        const int n = std::atoi(amount.c_str());
        figures.secondsLeft = amount.find(" min") != std::string::npos ? n * 60 : n;
    }
    return figures;
}

}  // namespace

// A release of 21 files, 18 MB in all, with a side file (every size known
// before the first byte) under MAXRATE=1024: the status names the whole
// update from the first figures on, and the time left is the whole
// update's. Halfway through, the time it says is within a third of the
// time that in fact remained. Quit halfway and started again, the figures
// go on from what was kept; without the side file, entries are counted and
// no time left is said.
TEST_F(Launcher, TheStatusShowsTheWholeUpdateAndHowLongItStillNeeds) {
    std::string list = "update list\r\nbig.bin|big.bin|immer\r\n";
    Serve("big.bin", std::string(5977000, 'B'));  // 5.7 MB
    for (int i = 1; i <= 20; ++i) {
        const std::string name = "pak" + std::to_string(i) + ".bin";
        Serve(name, std::string(600 * 1024, static_cast<char>('a' + i)));
        list += name + "|" + name + "|immer\r\n";
    }
    Serve("update.dat", list);
    std::vector<std::string> problems;
    Serve("update.dat.vtsums", vtlist::MakeSideFile(list, root / "VTupdates", {}, nullptr, problems));
    ASSERT_TRUE(problems.empty()) << problems[0];
    auto removeFetched = [&] {
        for (int i = 0; i <= 20; ++i) ::DeleteFileA(App(i == 0 ? "big.bin" : "pak" + std::to_string(i) + ".bin").c_str());
    };
    // The statuses shown, each with when it was first seen, until `stop` says so.
    auto watch = [&](const std::function<bool(const std::string&)>& stop, DWORD ms) {
        std::vector<std::pair<ULONGLONG, std::string>> seen;
        const ULONGLONG deadline = ::GetTickCount64() + ms;
        for (std::string text; !stop(text = Status()) && ::GetTickCount64() < deadline; ::Sleep(40))
            if (seen.empty() || seen.back().second != text) seen.emplace_back(::GetTickCount64(), text);
        seen.emplace_back(::GetTickCount64(), Status());
        return seen;
    };

    Config("MAXRATE=1024\r\n");
    Start();
    const auto run = watch([](const std::string& text) { return text == "Done."; }, 90000);
    ASSERT_EQ(run.back().second, "Done.") << Log();
    const ULONGLONG end = run.back().first;
    ULONGLONG first = 0;
    double most = 0;
    for (const auto& [at, text] : run)
        if (const auto figures = ReadWholeFigures(text)) {
            if (first == 0) first = at;
            most = std::max(most, figures->total);
            EXPECT_GE(figures->total, 17.0) << "not the whole update: " << text;
        }
    ASSERT_NE(first, 0u) << "no whole-update figures were shown";
    EXPECT_GE(most, 17.0);
    // The sample nearest the middle of the fetching that says a time left.
    const ULONGLONG middle = first + (end - first) / 2;
    std::optional<std::pair<ULONGLONG, int>> halfway;
    for (const auto& [at, text] : run) {
        const auto figures = ReadWholeFigures(text);
        if (!figures || figures->secondsLeft < 0) continue;
        const auto distance = [middle](ULONGLONG t) { return t > middle ? t - middle : middle - t; };
        if (!halfway || distance(at) < distance(halfway->first)) halfway = std::make_pair(at, figures->secondsLeft);
    }
    ASSERT_TRUE(halfway) << "no time left was shown";
    const double remained = static_cast<double>(end - halfway->first) / 1000.0;
    EXPECT_NEAR(halfway->second, remained, remained / 3 + 1.0)
        << "said " << halfway->second << " s left when " << remained << " s remained";
    EXPECT_NE(Log().find(" SUMMARY 21 entries looked at, 21 files fetched, "), std::string::npos) << Log();
    ui::Click(quit);
    ASSERT_TRUE(Ended());

    // Quit halfway, started again under a lower limit: within the first
    // moments the figures hold what the big file's partial file kept, more
    // than the limit could have brought since.
    removeFetched();
    Start();
    watch([](const std::string& text) { const auto f = ReadWholeFigures(text); return f && f->done >= 8.0; }, 60000);
    ui::Click(quit);
    ASSERT_TRUE(Ended());
    ASSERT_TRUE(PathExists(App("big.bin.vtpart"))) << "nothing was kept of the big file";
    Config("MAXRATE=256\r\n");
    Start();
    ULONGLONG shown = 0;
    const auto again = watch([&](const std::string& text) {
        if (shown == 0 && ReadWholeFigures(text)) shown = ::GetTickCount64();
        return shown != 0 && ::GetTickCount64() - shown > 1500;
    }, 30000);
    bool kept = false;
    for (const auto& [at, text] : again)
        if (const auto figures = ReadWholeFigures(text)) kept = kept || figures->done >= 1.0;
    EXPECT_TRUE(kept) << "the figures began again from nothing: " << (again.empty() ? "" : again.back().second);
    ui::Click(quit);
    ASSERT_TRUE(Ended());

    // Without the side file: "of 21" entries, and no time left (at a limit
    // that lets the texts be seen: 18 MB take about four seconds).
    ::DeleteFileA((root / "VTupdates\\update.dat.vtsums").c_str());
    removeFetched();
    Config("MAXRATE=4096\r\n");
    Start();
    const auto plain = watch([](const std::string& text) { return text == "Done."; }, 60000);
    ASSERT_EQ(plain.back().second, "Done.") << Log();
    bool counted = false;
    for (const auto& [at, text] : plain) {
        counted = counted || text.find(" of 21 files") != std::string::npos;
        EXPECT_EQ(text.find(" left"), std::string::npos) << text;
    }
    EXPECT_TRUE(counted) << "the entries were not counted";
}

// A first install of many small files, each answered after 50 ms: the
// whole update's figures rise with them, and the log's last line says what
// the update cost.
TEST_F(Launcher, AFirstInstallOfManySmallFilesShowsTheWholeUpdateAndItsCost) {
    constexpr int kFiles = 400;
    std::string list = "update list\r\n";
    for (int i = 0; i < kFiles; ++i) {
        const std::string name = "f" + std::to_string(i) + ".dat";
        Serve(name, std::string(16384, static_cast<char>('a' + i % 26)));
        server.SetFault("/VTupdates/" + name, StallFor(50));
        list += name + "|" + name + "|immer\r\n";
    }
    Serve("update.dat", list);
    std::vector<std::string> problems;
    Serve("update.dat.vtsums", vtlist::MakeSideFile(list, root / "VTupdates", {}, nullptr, problems));
    ASSERT_TRUE(problems.empty()) << problems[0];
    Start();
    std::vector<double> done;
    const ULONGLONG deadline = ::GetTickCount64() + 90000;
    for (std::string text; (text = Status()) != "Done." && ::GetTickCount64() < deadline; ::Sleep(40)) {
        const auto figures = ReadWholeFigures(text);
        if (!figures) continue;
        EXPECT_NEAR(figures->total, 6.3, 0.05) << text;  // 400 x 16 KiB = 6.25 MiB
        if (done.empty() || done.back() != figures->done) done.push_back(figures->done);
    }
    ASSERT_EQ(Status(), "Done.") << Log();
    EXPECT_GE(done.size(), 3u) << "the whole update's figures did not rise as the files came";
    EXPECT_TRUE(std::is_sorted(done.begin(), done.end())) << "the bytes fetched went back";
    const std::vector<std::string> summary = LogLines("SUMMARY");
    ASSERT_EQ(summary.size(), 1u) << Log();
    EXPECT_NE(summary[0].find("400 entries looked at, 400 files fetched, "), std::string::npos) << summary[0];
    EXPECT_NE(summary[0].find(" bytes over the network (6.3 MB), 0 bytes reused from old copies, 0 bytes kept "),
              std::string::npos)
        << summary[0];
}

// Texts that follow each other within a frame are held back, but the newest
// is always shown: up-to-date entries go by in microseconds, and the one the
// run then waits on (a fetch that sends nothing for seconds) is named on
// screen while it waits, not only when it ends.
TEST_F(Launcher, TheNewestStatusIsShownWhileTheRunWaitsAfterABurstOfTexts) {
    Fault stalled;
    stalled.kind = Fault::Kind::Stall;
    stalled.ms = 12000;  // longer than a busy machine takes to the last entry
    server.SetFault("/VTupdates/last.txt", stalled);
    Serve("last.txt", "last");
    std::string list = "update list\r\n";
    for (int i = 1; i <= 300; ++i) {
        const std::string name = "u" + std::to_string(i) + ".txt";
        WriteFileBytes(App(name), "up to date");
        list += name + "|" + name + "|2008-01-28 14:30\r\n";
    }
    Serve("update.dat", list + "last.txt|last.txt|immer\r\n");
    Start();
    // The event, not a time: the text is on screen while last.txt's answer
    // is still held back by the server (no ENDING in the log yet).
    EXPECT_TRUE(WaitForStatus("DOWNLOADING File 301 ...", stalled.ms - 2000)) << Status() << "\n" << Log();
    EXPECT_EQ(Log().find(" ENDING "), std::string::npos) << "the fetch ended before its text was looked for";
    ASSERT_TRUE(WaitForStatus("Done.")) << Status() << "\n" << Log();
    EXPECT_EQ(LogLines("STATUS").size(), 303u) << "every entry's text is logged, shown or not (and the list's, and the ending's)";
}

// MAXRATE= holds all the fetches together to the limit: twelve files of
// 512 KiB at 512 KB/s take about 12 s from the window's appearance to
// "Done.", every file right; without
// the key the same files take a fraction of that. The log says the limit.
TEST_F(Launcher, MaxRateHoldsAllFetchesTogetherToTheLimit) {
    std::string list = "update list\r\n";
    std::vector<std::string> bodies;
    for (int i = 0; i < 12; ++i) {
        const std::string name = "pak" + std::to_string(i) + ".bin";
        bodies.push_back(std::string(512 * 1024, static_cast<char>('a' + i)));
        Serve(name, bodies.back());
        list += name + "|" + name + "|immer\r\n";
    }
    Serve("update.dat", list);
    auto run = [&](const std::string& extra) {
        Config(extra);
        Start();
        const ULONGLONG begin = ::GetTickCount64();
        EXPECT_TRUE(WaitForStatus("Done.", 90000)) << Status() << "\n" << Log();
        const ULONGLONG took = ::GetTickCount64() - begin;
        for (int i = 0; i < 12; ++i)
            EXPECT_EQ(ReadFileBytes(App("pak" + std::to_string(i) + ".bin")), bodies[i]) << i;
        ui::Click(quit);
        EXPECT_TRUE(Ended());
        return took;
    };
    const ULONGLONG limited = run("MAXRATE=512\r\n");
    EXPECT_GE(limited, 10000u) << "6 MiB at 512 KB/s came faster than the limit";
    // Bound with a reason: twice the 12 s the limit allows; how close to the
    // limit the fetches come is bench/run.sh's figure, not this test's.
    EXPECT_LT(limited, 24000u) << "the limit held the fetches far below it";
    EXPECT_NE(Log().find(" RATE at most 512 KB/s (MAXRATE=), all fetches together, 6 at once"), std::string::npos)
        << Log();
    const ULONGLONG free = run("");
    EXPECT_LT(free, limited) << "without the key: " << free << " ms, with it: " << limited << " ms";
    EXPECT_EQ(Log().find(" RATE "), std::string::npos);
}

// The lowest limit, with six fetches allowed: the launcher takes fewer at
// once, and no fetch fails on the rate floor because of the limit's waits.
TEST_F(Launcher, TheLowestLimitStillEndsDone) {
    const std::string big(256 * 1024 + 17, 'L');
    Serve("big.bin", big);
    Serve("update.dat", "update list\r\nbig.bin|big.bin|immer\r\nreadme.txt|readme.txt|immer\r\n");
    Config("MAXRATE=3\r\nMAXDOWNLOADS=6\r\n");  // under 16: 16
    Start();
    const ULONGLONG begin = ::GetTickCount64();
    ASSERT_TRUE(WaitForStatus("Done.", 90000)) << Status() << "\n" << Log();
    EXPECT_GE(::GetTickCount64() - begin, 12000u) << "256 KiB at 16 KB/s is 16 s";
    EXPECT_EQ(ReadFileBytes(App("big.bin")), big);
    EXPECT_EQ(Log().find("slower than"), std::string::npos) << Log();
    EXPECT_NE(Log().find(" RATE at most 16 KB/s (MAXRATE=), all fetches together, 1 at once"), std::string::npos)
        << Log();
}

// The launchers' windows on the desktop, of every process.
int LauncherWindows() {
    int count = 0;
    ::EnumWindows(
        [](HWND window, LPARAM counted) -> BOOL {
            char name[32] = {};
            if (::GetClassNameA(window, name, sizeof name) && std::string(name) == "frmUpdate" && ::IsWindowVisible(window))
                ++*reinterpret_cast<int*>(counted);
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&count));
    return count;
}

// A second launcher started from the same folder (here by another spelling
// of it) while the first downloads brings the first one's window to the
// front and ends, touching nothing: no log line, no file. The first ends
// "Done." with the file right and no partial file left. A launcher in
// another folder runs beside it.
// A first launcher that hangs while minimized (stopped here with SIGSTOP,
// as Wine lets a test stand in for a hung window): the second one asks for
// its window to be restored without waiting for it, and ends. ShowWindow on
// the hung window kept the second launcher running past 150 s.
TEST_F(Launcher, ASecondLauncherEndsWhenTheFirstHangsMinimized) {
    server.SetFault("/VTupdates/start.htm", StallFor(60000));
    Start();
    ::ShowWindow(window, SW_MINIMIZE);
    for (int i = 0; i < 200 && !::IsIconic(window); ++i) ::Sleep(50);
    ASSERT_TRUE(::IsIconic(window));
    // The first launcher's Wine process, stopped by its folder's unique name
    // ("[v]" keeps the shell's own command line from matching).
    std::string folder = install.path();
    folder = folder.substr(0, folder.size() - 1);
    folder = folder.substr(folder.find_last_of('\\') + 1);
    const std::string stopped = install / "stopped.txt";
    const std::string script = "pkill -STOP -f '[" + folder.substr(0, 1) + "]" + folder.substr(1) +
                               ".VT.VT_Update.exe' && touch '" + UnixPathOf(stopped) + "'";
    win::UniqueKernelHandle stopper = StartProgram("\"" + BuildDir() + "tests\\win\\vt_spawn_unix.exe\" /bin/sh -c \"" +
                                                   script + "\"", install.path());
    ASSERT_TRUE(stopper);
    for (int i = 0; i < 200 && !PathExists(stopped); ++i) ::Sleep(50);
    ASSERT_TRUE(PathExists(stopped)) << "the first launcher could not be stopped";
    const ScopeExit resume([&] {
        const std::string go = "pkill -CONT -f '[" + folder.substr(0, 1) + "]" + folder.substr(1) + ".VT.VT_Update.exe'";
        StartProgram("\"" + BuildDir() + "tests\\win\\vt_spawn_unix.exe\" /bin/sh -c \"" + go + "\"", install.path());
        ::Sleep(500);
    });
    win::UniqueKernelHandle second = StartProgram("\"" + App("VT_Update.exe") + "\"", install.path());
    ASSERT_TRUE(second);
    // Bound with a reason: the second launcher looks for the window for 3 s
    // at most; 30 s is that and a slow start on a busy machine, far below a
    // wait without end.
    EXPECT_EQ(::WaitForSingleObject(second.get(), 30000), WAIT_OBJECT_0) << "the second launcher waited for the hung first";
    ::TerminateProcess(second.get(), 1);
}

TEST_F(Launcher, ASecondLauncherInTheSameFolderShowsTheFirstAndEnds) {
    const std::string big(3 * 1000 * 1000, 'B');
    Serve("big.bin", big);
    Fault slow;
    slow.kind = Fault::Kind::Throttle;
    slow.bytes = 600 * 1000;  // about 5 s
    server.SetFault("/VTupdates/big.bin", slow);
    Serve("update.dat", "update list\r\nbig.bin|big.bin|immer\r\n");
    Start();
    const ULONGLONG deadline = ::GetTickCount64() + kWaitMs;
    while (server.RequestCount("/VTupdates/big.bin") == 0 && ::GetTickCount64() < deadline) ::Sleep(50);
    ASSERT_EQ(server.RequestCount("/VTupdates/big.bin"), 1) << Log();
    ASSERT_EQ(LauncherWindows(), 1);

    const std::string other = install / "vt\\.\\VT_UPDATE.EXE";  // the same folder, spelt otherwise
    win::UniqueKernelHandle second = StartProgram("\"" + other + "\"", install.path());
    ASSERT_TRUE(second);
    // Bound with a reason: the second launcher looks for the first's window
    // for 3 s at most; 20 s is that and a slow start on a busy machine.
    ASSERT_EQ(::WaitForSingleObject(second.get(), 20000), WAIT_OBJECT_0) << "the second launcher did not end";
    DWORD code = 99;
    ::GetExitCodeProcess(second.get(), &code);
    EXPECT_EQ(code, 0u);
    EXPECT_EQ(LauncherWindows(), 1) << "a second launcher window appeared";
    EXPECT_EQ(::GetForegroundWindow(), window) << "the running launcher was not brought to the front";

    // Another folder, another mod: it runs beside the first, to its own end.
    MakeFolder(install / "VT2");
    ::CopyFileA(App("VT_Update.exe").c_str(), (install / "VT2\\VT_Update.exe").c_str(), FALSE);
    WriteFileBytes(install / "VT2\\UPDATE.CFG", "WEBPATH=" + WebPath() + "\r\nWEBPAGE=start.htm\r\n");
    DWORD besideId = 0;
    win::UniqueKernelHandle beside = StartProgram("\"" + (install / "VT2\\VT_Update.exe") + "\"", install / "VT2", &besideId);
    ASSERT_TRUE(beside);
    const HWND besideWindow = ui::WaitForWindow(besideId, "frmUpdate", kCaption, kWaitMs);
    ASSERT_NE(besideWindow, nullptr) << "a launcher in another folder did not run";
    EXPECT_EQ(LauncherWindows(), 2);

    ASSERT_TRUE(WaitForStatus("Done.", 60000)) << Status() << "\n" << Log();
    EXPECT_EQ(ReadFileBytes(App("big.bin")), big);
    EXPECT_FALSE(PathExists(App("big.bin.vtpart")));
    EXPECT_EQ(LogLines("START").size(), 1u) << "the second launcher wrote to the log:\n" << Log();
    const HWND besideStatus = ui::FindChildByClass(besideWindow, "Edit");
    const ULONGLONG besideDeadline = ::GetTickCount64() + 60000;
    while (ui::WindowText(besideStatus) != "Done." && ::GetTickCount64() < besideDeadline) ::Sleep(100);
    EXPECT_EQ(ui::WindowText(besideStatus), "Done.");
    EXPECT_EQ(ReadFileBytes(install / "VT2\\big.bin"), big);
    ::TerminateProcess(beside.get(), 0);
    ::WaitForSingleObject(beside.get(), 5000);
}

// Where no HTML engine renders pages (Wine without Gecko), the start page's
// words are on the screen all the same: the online page after "Done.", the
// local page when the server cannot be reached.
TEST_F(Launcher, TheStartPagesWordsAreOnTheScreen) {
    Serve("start.htm", std::string(kMarkerPage).substr(0, 31) +
                           "<html><body><h1>Vortane</h1><p>Welcome back, commander.</p><ul><li>Desert patrol</li></ul>"
                           "</body></html>");
    Start();
    ASSERT_TRUE(WaitForStatus("Done.")) << Status() << "\n" << Log();
    ::Sleep(300);  // the last repaint
    const std::string online = ReadWordsOnScreen(window);
    EXPECT_NE(online.find("Welcome back, commander."), std::string::npos) << online;
    EXPECT_NE(online.find("Desert patrol"), std::string::npos) << online;
    ui::Click(quit);
    ASSERT_TRUE(Ended());

    WriteFileBytes(App("LocalLauncher.htm"),
                   "<html><body><h1>Vortane</h1><p>The update server cannot be reached.</p></body></html>");
    Config("", "http://127.0.0.1:1/VTupdates/");
    Start();
    ASSERT_TRUE(WaitForStatus(Unavailable("E11"))) << Status();
    ::Sleep(300);
    const std::string local = ReadWordsOnScreen(window);
    EXPECT_NE(local.find("The update server cannot be reached."), std::string::npos) << local;
}

// A launcher killed in the middle of a fetch (by the player, by Windows at
// log-off) leaves a log that says what it was doing.
TEST_F(Launcher, AKilledLaunchersLogHoldsEveryLineUpToTheFetchItWasKilledIn) {
    Serve("pak.bin", std::string(300000, 'p'));
    server.SetFault("/VTupdates/pak.bin", StallFor(60000));
    Serve("update.dat", "update list\r\nreadme.txt|readme.txt|immer\r\npak.bin|pak.bin|immer\r\n");
    Start();
    // The file is stalled: the launcher waits in its fetch.
    const std::string entryLine = " ENTRY 2 " + App("pak.bin") + ": fetched on every run, fetching\r\n";
    const ULONGLONG deadline = ::GetTickCount64() + kWaitMs;
    while (Log().find(entryLine) == std::string::npos && ::GetTickCount64() < deadline) ::Sleep(50);
    ::Sleep(500);
    Kill();
    const std::string log = Log();
    EXPECT_EQ(server.RequestCount("/VTupdates/readme.txt"), 1) << log;
    EXPECT_FALSE(LogLines("SIDE").empty()) << log;
    EXPECT_EQ(LogLines("LIST"), std::vector<std::string>{"2 entries"}) << log;
    EXPECT_NE(log.find(entryLine), std::string::npos) << log;
    EXPECT_NE(log.find(" FETCH " + WebPath() + "readme.txt -> "), std::string::npos) << log;
}

TEST_F(Launcher, LayoutMatchesTheTwipsTableAt96Dpi) {
    server.SetFault("/VTupdates/start.htm", StallFor(60000));
    Start();
    RECT client;
    ::GetClientRect(window, &client);
    EXPECT_EQ(client.right, 721);
    EXPECT_EQ(client.bottom, 529);
    const struct {
        HWND control;
        RECT want;
    } expected[] = {{status, {8, 448, 713, 481}}, {single, {8, 488, 312, 521}}, {multi, {320, 488, 624, 521}},
                    {quit, {632, 488, 713, 521}}};
    for (const auto& e : expected) {
        const RECT got = ui::RectInParent(e.control);
        EXPECT_EQ(got.left, e.want.left) << ui::WindowText(e.control);
        EXPECT_EQ(got.top, e.want.top) << ui::WindowText(e.control);
        EXPECT_EQ(got.right, e.want.right) << ui::WindowText(e.control);
        EXPECT_EQ(got.bottom, e.want.bottom) << ui::WindowText(e.control);
    }
}

TEST_F(Launcher, AboutMessageOnlyOnTheBackground) {
    server.SetFault("/VTupdates/start.htm", StallFor(60000));
    Start();
    ui::DoubleClickAt(window, 400, 300);  // the browser
    ui::DoubleClickAt(window, 100, 460);  // the status box (a button would act on the first click)
    EXPECT_EQ(ui::WaitForMessageBox(0, "VT Launcher", 1500), nullptr) << "about box on a control";
    ui::DoubleClickAt(window, 316, 500);  // the gap between two buttons
    HWND box = WaitForBox("VT Launcher");
    ASSERT_NE(box, nullptr) << "no about box on the background";
    EXPECT_FALSE(ui::MessageBoxText(box).empty());
    ui::CloseMessageBox(box);
    EXPECT_FALSE(Ended(500)) << "the about box ended the launcher";
}

TEST_F(Launcher, ServerDownIsE11WithTheLocalPage) {
    Config("", "http://127.0.0.1:1/VTupdates/");
    Start();
    ASSERT_TRUE(WaitForStatus(Unavailable("E11"))) << Status();
    EXPECT_FALSE(ui::IsEnabled(multi));
    EXPECT_EQ(LogLines("NAVIGATE"), std::vector<std::string>{App("LocalLauncher.htm")});
    const std::vector<std::string> ending = LogLines("ENDING");
    ASSERT_EQ(ending.size(), 1u) << Log();
    EXPECT_NE(ending[0].find("WinINet error 12029: could not connect to the server"), std::string::npos) << ending[0];
}

TEST_F(Launcher, AMissingStartPageIsE11NotE12) {
    ::DeleteFileA((root / "VTupdates\\start.htm").c_str());
    Start();
    ASSERT_TRUE(WaitForStatus(Unavailable("E11"))) << Status();
    EXPECT_FALSE(PathExists(App("delete_me.txt"))) << "the 404 page was stored";
}

TEST_F(Launcher, AByteOrderMarkOrAForeignPageIsE12AndTheProbeStays) {
    const struct {
        std::string page;
        std::string logged;  // what the ending says the page began with
    } cases[] = {{std::string("\xEF\xBB\xBF") + kMarkerPage, "begins with \"\\xEF\\xBB\\xBF<!-- Vortane Mod Launcher -->\\x0D\\x0A<html>\"..."},
                 {"<html>Sign on</html>", "begins with \"<html>Sign on</html>\", not with <!-- Vortane Mod Launcher -->"}};
    for (const auto& [page, logged] : cases) {
        Serve("start.htm", page);
        Start();
        ASSERT_TRUE(WaitForStatus(Unavailable("E12"))) << Status();
        const std::vector<std::string> ending = LogLines("ENDING");
        ASSERT_EQ(ending.size(), 1u) << Log();
        EXPECT_NE(ending[0].find(logged), std::string::npos) << ending[0];
        EXPECT_EQ(ReadFileBytes(App("delete_me.txt")), page);
        EXPECT_EQ(LogLines("NAVIGATE"), std::vector<std::string>{App("LocalLauncher.htm")});
        EXPECT_EQ(server.RequestCount("/VTupdates/update.dat"), 0);
        ui::Click(quit);
        ASSERT_TRUE(Ended());
    }
}

TEST_F(Launcher, AMissingListIsE1WithTheOnlinePage) {
    ::DeleteFileA((root / "VTupdates\\update.dat").c_str());
    WriteFileBytes(App("NEWUPDATE.TXT"), "left by an earlier run");
    Start();
    ASSERT_TRUE(WaitForStatus(Unavailable("E1"))) << Status();
    EXPECT_FALSE(PathExists(App("NEWUPDATE.TXT")));
    EXPECT_EQ(LogLines("NAVIGATE"), std::vector<std::string>{WebPath() + "start.htm"});
}

TEST_F(Launcher, ABlankLastLineOrAFailedEntryIsE4) {
    for (const char* list : {"h\r\nreadme.txt|readme.txt|immer\r\n\r\n", "h\r\nreadme.txt|readme.txt|immer\r\ngone|gone|immer\r\n"}) {
        Serve("update.dat", list);
        Start();
        ASSERT_TRUE(WaitForStatus(Unavailable("E4"))) << Status();
        EXPECT_FALSE(ui::IsEnabled(multi));
        EXPECT_EQ(ReadFileBytes(App("readme.txt")), "read me") << "the entry before the failing one keeps its file";
        EXPECT_TRUE(PathExists(App("NEWUPDATE.TXT")));
        ui::Click(quit);
        ASSERT_TRUE(Ended());
    }
}

TEST_F(Launcher, ALockedLocalFileShowsFileAccessErrorAndEnds) {
    MakeFolder(App("DATA"));
    MakeFolder(App("DATA\\MAPS"));
    WriteFileBytes(App("DATA\\MAPS\\arena.ini"), "in use");
    win::UniqueFileHandle lock(
        ::CreateFileA(App("DATA\\MAPS\\arena.ini").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(lock);
    Start();
    HWND box = WaitForBox("UNABLE TO CHECK FOR UPDATE: " + App("DATA\\MAPS\\arena.ini"));
    ASSERT_NE(box, nullptr) << Status();
    EXPECT_EQ(ui::MessageBoxText(box), "FILE ACCESS ERROR");
    ui::CloseMessageBox(box);
    EXPECT_TRUE(Ended());
    EXPECT_EQ(server.RequestCount("/VTupdates/readme.txt"), 0) << "an entry after the failing one was processed";
}

TEST_F(Launcher, AMissingStarterIsE9OrE10InOneBoxAndTheEnd) {
    for (bool multiplayer : {true, false}) {
        Start();
        ASSERT_TRUE(WaitForStatus("Done.")) << Status();
        ui::Click(multiplayer ? multi : single);
        HWND box = WaitForBox("VT Launcher");
        ASSERT_NE(box, nullptr);
        EXPECT_EQ(ui::MessageBoxText(box), multiplayer ? "Problem starting Skyreach ... [E9]" : "Problem starting Skyreach ... [E10]");
        EXPECT_FALSE(ui::IsVisible(window)) << "the launcher's window is still shown";
        ui::CloseMessageBox(box);
        ASSERT_TRUE(Ended());
    }
}

TEST_F(Launcher, LaunchStartsTheStarterWithItsModeWordAndEnds) {
    const std::string report = install / "report.txt";
    ::SetEnvironmentVariableA("VT_STANDIN_REPORT", report.c_str());
    MakeFolder(App("bin"));
    ::CopyFileA((BuildDir() + "tools\\vt_standin_game.exe").c_str(), App("bin\\vtwd.exe").c_str(), FALSE);
    SetAttributes(App("bin\\vtwd.exe"), FILE_ATTRIBUTE_HIDDEN);  // found all the same
    Config("WATCHDOG=bin\\vtwd.exe\r\n");

    // Multiplayer after "Done.", single-player while the update still hangs.
    for (bool multiplayer : {true, false}) {
        ::DeleteFileA(report.c_str());
        if (!multiplayer) server.SetFault("/VTupdates/start.htm", StallFor(60000));
        Start();
        if (multiplayer) {
            ASSERT_TRUE(WaitForStatus("Done.")) << Status();
        }
        ui::Click(multiplayer ? multi : single);
        ASSERT_TRUE(Ended()) << "the launcher did not end after the launch";
        std::string text;
        for (int i = 0; i < 100 && (text = ReadFileBytes(report)).find("\r\nfolder=") == std::string::npos; ++i) ::Sleep(100);
        EXPECT_NE(text.find("command=\"" + App("bin\\vtwd.exe") + "\" " + (multiplayer ? "MULTI" : "SINGLE") + "\r\n"),
                  std::string::npos)
            << text;
    }
    ::SetEnvironmentVariableA("VT_STANDIN_REPORT", nullptr);
}

TEST_F(Launcher, TimeoutZeroStartsANewRunAfterOneTick) {
    Config("TIMEOUT=0\r\n");
    Start();
    ASSERT_TRUE(WaitForStatus("Done.")) << Status();
    ASSERT_TRUE(ui::IsEnabled(multi));
    server.SetFault("/VTupdates/start.htm", StallFor(3000));  // lets the test see the new run's start
    ASSERT_TRUE(WaitForStatus(".", 40000)) << "no new run after the 30-second tick: " << Status();
    EXPECT_FALSE(ui::IsEnabled(multi)) << "multiplayer stays enabled after the time-out";
    ASSERT_TRUE(WaitForStatus("Done.", 20000)) << Status();
    EXPECT_TRUE(ui::IsEnabled(multi));
    EXPECT_EQ(LogLines("ENDING"), (std::vector<std::string>{"Done", "Done"}));
}

// The unhandled-failure box belongs to the launcher's window: modal to it,
// not a box beside a window that still takes clicks. (Here UPDATE.CFG exists
// but is held open without sharing by another program.)
TEST_F(Launcher, UnhandledFailureBoxIsOwnedByTheWindow) {
    win::UniqueFileHandle holder(::CreateFileA(App("UPDATE.CFG").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(holder);
    StartProcess();
    HWND box = WaitForBox("VT Launcher");
    ASSERT_NE(box, nullptr) << "no failure box";
    EXPECT_NE(ui::MessageBoxText(box).find("UPDATE.CFG"), std::string::npos) << ui::MessageBoxText(box);
    EXPECT_EQ(ui::OwnerClassName(box), "frmUpdate");
    ui::CloseMessageBox(box);
    EXPECT_TRUE(Ended());
}

// A folder the launcher cannot write (here folders stand where its log and the
// probe's temporary file go): the log goes to the local application data
// folder and says why, and the E11 ending names the real cause.
TEST_F(Launcher, FolderThatCannotBeWrittenLogsElsewhereAndNamesTheCause) {
    Config("");
    MakeFolder(App("VT_Update.log"));
    MakeFolder(App("delete_me.txt.vtpart"));
    char local[MAX_PATH] = {};
    ASSERT_TRUE(::GetEnvironmentVariableA("LOCALAPPDATA", local, MAX_PATH));
    const std::string fallback = std::string(local) + "\\Vortane\\VT_Update.log";
    ::DeleteFileA(fallback.c_str());
    Start();
    ASSERT_TRUE(WaitForStatus(Unavailable("E11"))) << Status();
    ui::Click(quit);
    ASSERT_TRUE(Ended());
    const std::string log = ReadFileBytes(fallback);
    EXPECT_NE(log.find(" LOG " + App("VT_Update.log") + " cannot be written"), std::string::npos) << log;
    EXPECT_NE(log.find(" ENDING E11: " + WebPath() + "start.htm: cannot write the target file: cannot create " +
                       App("delete_me.txt.vtpart")),
              std::string::npos)
        << log;
}

// The whole update over https: "Done." when the server's certificate comes
// from a trusted authority; E11 and nothing written when it does not, and
// nothing falls back to http.
TEST_F(Launcher, HttpsWithATrustedAuthorityIsDoneAndAnUntrustedOneIsE11) {
    const int trusted = TlsPort("trusted"), untrusted = TlsPort("untrusted");
    ASSERT_NE(trusted, 0) << "no https fixture";
    const std::string site = "lp-" + std::to_string(::GetCurrentProcessId());
    const std::string www = TlsDir() + "www\\" + site;
    MakeFolder(www);
    MakeFolder(www + "\\VTupdates");
    WriteFileBytes(www + "\\VTupdates\\start.htm", kMarkerPage);
    WriteFileBytes(www + "\\VTupdates\\update.dat", "list\r\nsecure.txt|secure.txt|immer\r\n");
    WriteFileBytes(www + "\\VTupdates\\secure.txt", "over https");

    Config("", "https://localhost:" + std::to_string(trusted) + "/" + site + "/VTupdates/");
    Start();
    EXPECT_TRUE(WaitForStatus("Done.")) << Status();
    EXPECT_EQ(ReadFileBytes(App("secure.txt")), "over https");
    ui::Click(quit);
    ASSERT_TRUE(Ended());

    ::DeleteFileA(App("secure.txt").c_str());
    Config("", "https://localhost:" + std::to_string(untrusted) + "/" + site + "/VTupdates/");
    Start();
    EXPECT_TRUE(WaitForStatus(Unavailable("E11"))) << Status();
    EXPECT_FALSE(PathExists(App("delete_me.txt")));
    EXPECT_FALSE(PathExists(App("secure.txt")));
    EXPECT_EQ(server.RequestCount("/VTupdates/start.htm"), 0) << "fell back to http";
    ui::Click(quit);
    ASSERT_TRUE(Ended());
    RemoveTree(www);
}
