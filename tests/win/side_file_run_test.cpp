// Runs with a side file beside the list, under Wine against the test server:
// the side files are made by vtlist's own code (CNG signing in this build).
#include <gtest/gtest.h>

#include <functional>
#include <mutex>
#include <utility>
#include <vector>

#include "config/settings.h"
#include "launcher/rules/side_file.h"
#include "launcher/win/run/hash_cache.h"
#include "launcher/win/run/trust_store.h"
#include "launcher/win/run/update_run.h"
#include "platform/win/files.h"
#include "platform/win/handles.h"
#include "platform/win/text_codes.h"
#include "support/null_view.h"
#include "support/quick_transfer.h"
#include "support/test_support.h"
#include "test_server.h"
#include "tools/vtlist/side_make.h"
#include "tools/vtlist/signing.h"

using namespace vt;
using namespace vt::launcher;
using namespace vt::test;
using vt::testing::Fault;
using vt::testing::TestServer;

namespace {

constexpr char kList[] =
    "Vortane release 7\r\n"
    "maps/arena.ini|arena.ini|2008-01-28 14:30\r\n"
    "readme.txt|readme.txt|immer\r\n"
    "cfg/player.cfg|player.cfg|2008-01-28 14:30\r\n";

class Signed : public ::testing::Test {
protected:
    Signed() : server(root.path()), transfer(QuickTimeouts()) {
        MakeFolder(root / "VTupdates");
        MakeFolder(root / "VTupdates\\maps");
        MakeFolder(root / "VTupdates\\cfg");
        MakeFolder(install / "VT");
        Serve("start.htm", "<!-- Vortane Mod Launcher -->\r\n<html></html>");
        Serve("maps\\arena.ini", std::string(100000, 'a'));
        Serve("readme.txt", "read me");
        Serve("cfg\\player.cfg", "defaults");
        Serve("update.dat", kList);
        key = *vtlist::GenerateKeyPair();
        settings.AppDir = install / "VT\\";
        settings.WebPath = server.BaseUrl() + "/VTupdates/";
        settings.WebPage = "start.htm";
        settings.LocalPage = "LocalLauncher.htm";
        settings.PatchListName = "update.dat";
        settings.PublicKey = FormatPublicKey(key.point);
        Release(kList);
    }
    void Serve(const std::string& name, const std::string& bytes) {
        server.WaitUntilIdle(5000);
        WriteFileBytes(root / ("VTupdates\\" + name), bytes);
    }
    // Hashes and signs the list as vtlist make --sign does (cfg/* kept).
    void Release(const std::string& list, const vtlist::KeyPair* by = nullptr,
                 std::optional<std::uint64_t> number = std::nullopt) {
        Serve("update.dat", list);
        vtlist::SideOptions options;
        options.keepGlobs = {"cfg/*"};
        options.release = number;
        std::vector<std::string> problems;
        const std::string sums = vtlist::MakeSideFile(list, root / "VTupdates", options, by ? by : &key, problems);
        ASSERT_TRUE(problems.empty()) << problems[0];
        Serve("update.dat.vtsums", sums);
    }
    std::string Local(const std::string& name) const { return settings.AppDir + name; }
    int Requests(const std::string& name) const { return server.RequestCount("/VTupdates/" + name); }
    RunEnding RunOnce() {
        context.lastFailure.clear();
        return UpdateRun(context).Run().ending;
    }
    std::string LogText() {
        return ReadFileBytes(logFile);
    }

    TempDir root;
    TempDir install;
    TestServer server;
    InternetTransfer transfer;
    vtlist::KeyPair key;
    LauncherSettings settings;
    NullView view;
    std::string logFile = install / "run.log";
    win::ProgramLog log{install.path(), "run.log"};
    RunContext context{settings, transfer.Timeouts(), view, log};
};

}  // namespace

TEST_F(Signed, ASignedReleaseIsDoneAndAServerFileChangedAfterSigningIsE4) {
    ASSERT_EQ(RunOnce(), RunEnding::Done) << context.lastFailure;
    EXPECT_EQ(ReadFileBytes(Local("arena.ini")), std::string(100000, 'a'));
    EXPECT_FALSE(PathExists(Local(kSideFileName)));

    Serve("readme.txt", "read ME");  // same size, not what was signed
    WriteFileBytes(Local("readme.txt"), "player's old readme");
    EXPECT_EQ(RunOnce(), RunEnding::E4);
    EXPECT_EQ(ReadFileBytes(Local("readme.txt")), "player's old readme");
    EXPECT_NE(context.lastFailure.find("SHA-256"), std::string::npos) << context.lastFailure;
    EXPECT_FALSE(PathExists(Local("readme.txt.vtpart")));
}

// Each of these ends with E1 before a single file is asked for.
TEST_F(Signed, AChangedListAMissingGarbledOrForeignSideFileIsE1WithNothingFetched) {
    const vtlist::KeyPair other = *vtlist::GenerateKeyPair();
    const struct {
        const char* what;
        std::function<void()> make;
    } cases[] = {
        {"a line added after signing", [&] { Serve("update.dat", std::string(kList) + "b.txt|b.txt|immer\r\n"); }},
        {"no side file", [&] {
             server.WaitUntilIdle(5000);
             ::DeleteFileA((root / "VTupdates\\update.dat.vtsums").c_str());
         }},
        {"a garbled side file", [&] { Serve("update.dat.vtsums", "VTSUMS 1\r\nlist x\r\n"); }},
        {"signed by another key", [&] { Release(kList, &other); }},
        {"not signed", [&] {
             std::vector<std::string> problems;
             Serve("update.dat.vtsums", vtlist::MakeSideFile(kList, root / "VTupdates", {}, nullptr, problems));
         }},
        {"one local file with two contents, signed all the same", [&] {
             // What vtlist refuses to make: entry 4 writes readme.txt too.
             const std::string list = std::string(kList) + "cfg/player.cfg|readme.txt|immer\r\n";
             std::vector<std::string> problems;
             SideFile sums = *ParseSideFile(vtlist::MakeSideFile(kList, root / "VTupdates", {}, nullptr, problems));
             sums.listSize = list.size();
             sums.listHash = vtlist::Sha256Of(list);
             sums.entries[4] = SideEntry{8, vtlist::Sha256Of("defaults"), true, std::nullopt};
             std::string text = FormatSideFile(sums);
             text += FormatSignatureLine(*vtlist::SignDigest(key, vtlist::Sha256Of(text)));
             Serve("update.dat", list);
             Serve("update.dat.vtsums", text);
         }},
    };
    for (const auto& c : cases) {
        Release(kList);
        c.make();
        const int before = Requests("readme.txt");
        EXPECT_EQ(RunOnce(), RunEnding::E1) << c.what;
        EXPECT_EQ(Requests("readme.txt"), before) << c.what;
        EXPECT_FALSE(PathExists(Local("readme.txt"))) << c.what;
        EXPECT_FALSE(context.lastFailure.empty()) << c.what;
    }
}

// Without PUBLICKEY= the hashes still guard every body: a body cut without a
// length (the server closes early), or cut inside a chunk, is no file.
TEST_F(Signed, WithoutAKeyCutBodiesAreE4AndTheOldFileStays) {
    settings.PublicKey.clear();
    WriteFileBytes(Local("arena.ini"), "player's arena");
    SetLocalWriteTime(Local("arena.ini"), 2000, 1, 1, 0, 0, 0);  // older than its stamp: fetched
    Fault closeDelimited;
    closeDelimited.kind = Fault::Kind::Raw;
    closeDelimited.body = "HTTP/1.1 200 OK\r\nConnection: close\r\n\r\n" + std::string(1000, 'a');
    Fault chunked;
    chunked.kind = Fault::Kind::ChunkedCut;
    for (const Fault& fault : {closeDelimited, chunked}) {
        server.SetFault("/VTupdates/maps/arena.ini", fault);
        EXPECT_EQ(RunOnce(), RunEnding::E4);
        EXPECT_EQ(ReadFileBytes(Local("arena.ini")), "player's arena");
        EXPECT_FALSE(PathExists(Local("arena.ini.vtpart")));
    }
}

// A damaged file newer than its stamp is fetched again; a "keep" file is
// not; "immer" with a hash is fetched only when it differs; and the next run
// reads only the files that changed.
TEST_F(Signed, DamagedFilesAreRepairedKeptOnesAreNotAndOnlyChangedFilesAreRead) {
    ASSERT_EQ(RunOnce(), RunEnding::Done) << context.lastFailure;
    EXPECT_EQ(Requests("readme.txt"), 1);
    ASSERT_EQ(RunOnce(), RunEnding::Done);
    EXPECT_EQ(Requests("readme.txt"), 1) << "\"immer\" with an unchanged file";
    EXPECT_NE(LogText().find("HASHES 0 file(s) read, 0 repaired"), std::string::npos) << LogText();

    std::string damaged(100000, 'a');
    damaged[5000] = 'X';
    WriteFileBytes(Local("arena.ini"), damaged);  // written now: newer than its stamp
    WriteFileBytes(Local("player.cfg"), "my own settings");
    ASSERT_EQ(RunOnce(), RunEnding::Done);
    EXPECT_EQ(ReadFileBytes(Local("arena.ini")), std::string(100000, 'a'));
    EXPECT_EQ(ReadFileBytes(Local("player.cfg")), "my own settings");
    EXPECT_NE(LogText().find("HASHES 1 file(s) read, 1 repaired"), std::string::npos) << LogText();
    EXPECT_EQ(Requests("maps/arena.ini"), 2);
}

// A file changed with its size kept and its last-write time put back (bit
// rot, a tool that restores times) is not seen while its remembered digest is
// fresh; once that digest is a week old the file is read again and repaired.
TEST_F(Signed, ARememberedDigestIsTrustedForAWeekOnly) {
    ASSERT_EQ(RunOnce(), RunEnding::Done) << context.lastFailure;
    const std::string path = Local("arena.ini");
    FILETIME written{};
    {
        win::UniqueFileHandle file(::CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
        ASSERT_TRUE(file && ::GetFileTime(file.get(), nullptr, nullptr, &written));
    }
    std::string rotted(100000, 'a');
    rotted[777] = 'b';
    WriteFileBytes(path, rotted);
    {
        win::UniqueFileHandle file(::CreateFileA(path.c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr, OPEN_EXISTING, 0, nullptr));
        ASSERT_TRUE(file && ::SetFileTime(file.get(), nullptr, nullptr, &written));
    }
    ASSERT_EQ(RunOnce(), RunEnding::Done);
    EXPECT_TRUE(ReadFileBytes(path) == rotted) << "read again although its digest is fresh";

    // Eight days pass: every remembered digest is that old.
    const std::string cache = ReadFileBytes(Local(kHashCacheName));
    std::string aged;
    std::size_t at = 0;
    int lines = 0;
    for (std::size_t end; (end = cache.find("\r\n", at)) != std::string::npos; at = end + 2) {
        std::string line = cache.substr(at, end - at);
        std::size_t field = 0;
        for (int i = 0; i < 3 && field != std::string::npos; ++i) field = line.find(' ', field + 1);
        if (at > 0 && field != std::string::npos) {
            const std::size_t next = line.find(' ', field + 1);
            const long long checked = std::stoll(line.substr(field + 1, next - field - 1));
            line = line.substr(0, field + 1) + std::to_string(checked - 8 * 24 * 3600) + line.substr(next);
            ++lines;
        }
        aged += line + "\r\n";
    }
    ASSERT_GE(lines, 2) << cache;
    WriteFileBytes(Local(kHashCacheName), aged);
    ASSERT_EQ(RunOnce(), RunEnding::Done);
    EXPECT_TRUE(ReadFileBytes(path) == std::string(100000, 'a')) << "a week-old digest hid a changed file";
    EXPECT_NE(LogText().find("repaired"), std::string::npos);
}

// A PUBLICKEY= that is not a point of the curve is named as a wrong setting,
// not blamed on the side file.
TEST_F(Signed, APublicKeyThatIsNoPointIsNamedAsTheSetting) {
    std::string notAPoint = settings.PublicKey;
    notAPoint.back() = notAPoint.back() == '0' ? '1' : '0';
    settings.PublicKey = notAPoint;
    EXPECT_EQ(RunOnce(), RunEnding::E1);
    EXPECT_NE(context.lastFailure.find("PUBLICKEY= value in UPDATE.CFG is not a valid key"), std::string::npos)
        << context.lastFailure;
    EXPECT_EQ(Requests("readme.txt"), 0);
}

// Only a record that is not there means first trust. One that is there and
// cannot be read whole (damaged in any way, hidden, held open by another
// program) ends the run with E1 before a file is fetched, says why and what
// to do, and is left as it is: release 100 is never taken over 200.
TEST_F(Signed, ATrustRecordThatCannotBeReadWholeStopsTheRunAndIsNeverLowered) {
    const std::string trust = Local(kTrustFileName);
    Release(kList, nullptr, 200);
    ASSERT_EQ(RunOnce(), RunEnding::Done) << context.lastFailure;
    const std::string good = ReadFileBytes(trust);
    ASSERT_NE(good.find(" 200 "), std::string::npos) << good;
    Release(kList, nullptr, 100);  // a server left behind, or a replay

    std::string oneDigit = good;
    const std::size_t digit = oneDigit.find("\r\n") + 2 + 5;
    oneDigit[digit] = oneDigit[digit] == 'f' ? 'e' : 'f';  // still hex, still a line: another key
    std::string noDigits = good;
    noDigits[good.find("\r\n") + 2 + 5] = 'x';
    const std::vector<std::pair<std::string, std::string>> damaged{
        {"random bytes", std::string("\x17\x8a\xfe garbage \x01\x02", 17)},
        {"the last line end missing", good.substr(0, good.size() - 2)},
        {"a key digit that is no digit", noDigits},
        {"a key digit changed to another", oneDigit},
        {"an empty file", ""},
    };
    for (const auto& [what, bytes] : damaged) {
        WriteFileBytes(trust, bytes);
        EXPECT_EQ(RunOnce(), RunEnding::E1) << what;
        EXPECT_NE(context.lastFailure.find("is damaged"), std::string::npos) << what << ": " << context.lastFailure;
        EXPECT_NE(context.lastFailure.find("Delete it"), std::string::npos) << context.lastFailure;
        EXPECT_EQ(ReadFileBytes(trust), bytes) << what << ": the record was written over";
        EXPECT_EQ(Requests("readme.txt"), 1) << what << ": a file was fetched";
    }
    WriteFileBytes(trust, good);
    SetAttributes(trust, FILE_ATTRIBUTE_HIDDEN);
    EXPECT_EQ(RunOnce(), RunEnding::E1) << "a hidden record is a record: " << context.lastFailure;
    SetAttributes(trust, FILE_ATTRIBUTE_NORMAL);
    {
        const win::UniqueFileHandle holder(::CreateFileW(win::PathW(trust).c_str(), GENERIC_READ, 0, nullptr,
                                                         OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
        ASSERT_TRUE(holder);
        EXPECT_EQ(RunOnce(), RunEnding::E1);
        EXPECT_NE(context.lastFailure.find("cannot be read"), std::string::npos) << context.lastFailure;
        EXPECT_NE(context.lastFailure.find("close the program that holds it"), std::string::npos) << context.lastFailure;
    }
    EXPECT_EQ(ReadFileBytes(trust), good);
    EXPECT_NE(LogText().find("no release is taken"), std::string::npos) << LogText();
    // Read again as it is: release 100 is refused as older, the record stays at 200.
    EXPECT_EQ(RunOnce(), RunEnding::E1);
    EXPECT_NE(context.lastFailure.find("never installed again"), std::string::npos) << context.lastFailure;
    EXPECT_EQ(ReadFileBytes(trust), good);
}

// A record that can be read but not replaced (an installer's file the
// player may not write; here a program holds it, sharing all but its
// replacement, for as long as the run): the release goes to the fallback
// record, the log says so, and the next run reads both. Release 7 was kept
// in the fallback, so a replayed, really signed release 6 is refused; it
// was installed over 7 when the fallback was read only without a record.
TEST_F(Signed, AReleaseKeptInTheFallbackRecordIsNeverRolledBack) {
    char local[MAX_PATH] = {};
    ASSERT_TRUE(::GetEnvironmentVariableA("LOCALAPPDATA", local, MAX_PATH));
    const std::string fallback = std::string(local) + "\\Vortane\\" + kTrustFileName;
    ::DeleteFileA(fallback.c_str());
    const std::string trust = Local(kTrustFileName);
    Release(kList, nullptr, 5);
    ASSERT_EQ(RunOnce(), RunEnding::Done) << context.lastFailure;
    ASSERT_NE(ReadFileBytes(trust).find(" 5 "), std::string::npos) << ReadFileBytes(trust);

    Release(kList, nullptr, 7);
    {
        HeldFile held(trust, HeldFile::kUntilGone, FILE_SHARE_READ | FILE_SHARE_WRITE);
        ASSERT_TRUE(held.Held());
        ASSERT_EQ(RunOnce(), RunEnding::Done) << context.lastFailure;
    }
    EXPECT_NE(ReadFileBytes(trust).find(" 5 "), std::string::npos) << "the record beside the program changed";
    EXPECT_NE(ReadFileBytes(fallback).find(" 7 "), std::string::npos) << ReadFileBytes(fallback);
    EXPECT_NE(LogText().find("TRUST " + trust + " cannot be replaced"), std::string::npos) << LogText();

    Release(kList, nullptr, 6);  // replayed by a cache, a proxy, a mirror
    EXPECT_EQ(RunOnce(), RunEnding::E1);
    EXPECT_NE(context.lastFailure.find("never installed again"), std::string::npos) << context.lastFailure;
    EXPECT_NE(LogText().find("TRUST the releases remembered in " + fallback + " are read with those in " + trust),
              std::string::npos)
        << LogText();
    ::DeleteFileA(fallback.c_str());
}

namespace {

// What the window is asked to show on the taskbar, as the run asks it.
class ShareView : public UpdateRunView {
public:
    void SetStatus(const std::string&) override {}
    void Navigate(const std::string&) override {}
    void ShowTotalProgress(std::uint64_t done, std::uint64_t total) override {
        std::lock_guard<std::mutex> lock(mutex);
        shares.emplace_back(done, total);
    }
    std::mutex mutex;
    std::vector<std::pair<std::uint64_t, std::uint64_t>> shares;
};

}  // namespace

// A first install of many small files with a side file: the taskbar's share
// the run hands the window begins low and only rises.
TEST_F(Signed, TheTaskbarsShareOfAFirstInstallRisesSteadily) {
    std::string list = "Vortane release 8\r\n";
    for (int i = 0; i < 300; ++i) {
        const std::string name = "f" + std::to_string(i) + ".dat";
        Serve(name, std::string(16384, static_cast<char>('a' + i % 26)));
        Fault slow;
        slow.kind = Fault::Kind::Stall;
        slow.ms = 40;  // 300 files, 6 at once: about 2 s, eight shares or more
        server.SetFault("/VTupdates/" + name, slow);
        list += name + "|" + name + "|immer\r\n";
    }
    Release(list);
    ShareView shareView;
    RunContext watched{settings, transfer.Timeouts(), shareView, log};
    ASSERT_EQ(UpdateRun(watched).Run().ending, RunEnding::Done) << watched.lastFailure;
    std::lock_guard<std::mutex> lock(shareView.mutex);
    ASSERT_GE(shareView.shares.size(), 3u) << "the share was shown too seldom to rise";
    for (std::size_t i = 0; i < shareView.shares.size(); ++i) {
        EXPECT_EQ(shareView.shares[i].second, SteadyShare::kWhole) << i;
        if (i > 0) {
            EXPECT_GE(shareView.shares[i].first, shareView.shares[i - 1].first) << "slid back at " << i;
        }
    }
    EXPECT_LT(shareView.shares.front().first, SteadyShare::kWhole / 2) << "the bar began near its end";
}
