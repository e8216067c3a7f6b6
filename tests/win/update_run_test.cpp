// The entry processing and the update run against the test server, under Wine,
// with a recording stand-in for the window (the real window is driven by the
// launcher program's own tests).
#include <gtest/gtest.h>

#include "config/settings.h"
#include "launcher/rules/http_rules.h"
#include "launcher/win/fetch/fetch_pool.h"
#include "launcher/win/run/patch_entries.h"
#include "launcher/win/run/update_run.h"
#include "support/quick_transfer.h"
#include "support/test_support.h"
#include "test_server.h"

using namespace vt;
using namespace vt::launcher;
using namespace vt::test;
using vt::testing::Fault;
using vt::testing::TestServer;

namespace {

class RecordingView : public UpdateRunView {
public:
    void SetStatus(const std::string& text) override { statuses.push_back(text); }
    void Navigate(const std::string& address) override { navigations.push_back(address); }

    std::vector<std::string> statuses;
    std::vector<std::string> navigations;
};

class Entries : public ::testing::Test {
protected:
    Entries() : server(root.path()), transfer(QuickTimeouts()) {
        MakeFolder(root / "VTupdates");
        MakeFolder(install / "VT");
        settings.AppDir = install / "VT\\";
        settings.WebPath = server.BaseUrl() + "/VTupdates/";
        settings.WebPage = "start.htm";
        settings.LocalPage = "LocalLauncher.htm";
        settings.PatchListName = "update.dat";
        Serve("a.txt", "server a");
    }
    void Serve(const std::string& name, const std::string& bytes) { WriteFileBytes(root / ("VTupdates\\" + name), bytes); }
    std::string Local(const std::string& name) const { return settings.AppDir + name; }
    int Requests(const std::string& name) const { return server.RequestCount("/VTupdates/" + name); }
    bool Process(const std::string& line, int index = 1) { return processor.ProcessPatchEntry(line, index); }

    TempDir root;
    TempDir install;
    TestServer server;
    InternetTransfer transfer;
    LauncherSettings settings;
    RecordingView view;
    win::ProgramLog log;
    RunContext context{settings, transfer.Timeouts(), view, log};
    FetchPool pool{1, QuickTimeouts()};  // one at a time: each entry is done when Process returns
    MirrorSet mirrors{"", {}};  // no mirrors: every file from WEBPATH=
    PatchEntryProcessor processor{context, pool, mirrors};
};

}  // namespace

TEST_F(Entries, WrongFieldCountsFailWithoutAStatusText) {
    EXPECT_FALSE(Process("a.txt|a.txt"));
    EXPECT_FALSE(Process("a.txt|a.txt|immer|x"));
    EXPECT_FALSE(Process(""));
    EXPECT_TRUE(view.statuses.empty());
    EXPECT_EQ(Requests("a.txt"), 0);
}

TEST_F(Entries, ImmerInAnyCaseIsFetchedOnEveryRun) {
    EXPECT_TRUE(Process("a.txt|a.txt|\t IMMER ", 7));
    EXPECT_EQ(ReadFileBytes(Local("a.txt")), "server a");
    EXPECT_TRUE(Process("a.txt|a.txt| IMMER "));
    EXPECT_EQ(Requests("a.txt"), 2);
    EXPECT_EQ(view.statuses.front(), "DOWNLOADING File 7 ...");
}

TEST_F(Entries, UnreadableStampsAreNeverFetchedEvenWhenMissing) {
    for (const char* stamp : {"always", "2008-01-28", "20080128 1430", "x2008-01-28 14:30"}) {
        SCOPED_TRACE(stamp);
        view.statuses.clear();
        EXPECT_TRUE(Process(std::string("a.txt|a.txt|") + stamp, 3));
        EXPECT_EQ(view.statuses, std::vector<std::string>{"DOWNLOADING File 3 ..."});
    }
    EXPECT_FALSE(PathExists(Local("a.txt")));
    EXPECT_EQ(Requests("a.txt"), 0);
}

TEST_F(Entries, DateRuleHoldsToTheSecondInSummerTime) {
    // 28 July is summer time in the test's zone: local time must be used on both sides.
    WriteFileBytes(Local("a.txt"), "local a");
    SetLocalWriteTime(Local("a.txt"), 2008, 7, 28, 14, 30, 0, 999);
    EXPECT_TRUE(Process("a.txt|a.txt|2008-07-28 14:30:59"));
    EXPECT_EQ(ReadFileBytes(Local("a.txt")), "local a") << "a file written at the stamp's minute was fetched";

    SetLocalWriteTime(Local("a.txt"), 2008, 7, 28, 14, 29, 59, 999);
    EXPECT_TRUE(Process("a.txt|a.txt|2008-07-28 14:30"));
    EXPECT_EQ(ReadFileBytes(Local("a.txt")), "server a");

    EXPECT_TRUE(Process("a.txt|a.txt|2008-07-28 14:30"));  // freshly written: up to date now
    EXPECT_EQ(Requests("a.txt"), 1);
}

TEST_F(Entries, HiddenAndReadOnlyLocalFilesAreComparedByDate) {
    WriteFileBytes(Local("a.txt"), "local a");
    SetLocalWriteTime(Local("a.txt"), 2010, 1, 1, 0, 0, 0);
    SetAttributes(Local("a.txt"), FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_READONLY);
    EXPECT_TRUE(Process("a.txt|a.txt|2008-01-28 14:30"));
    EXPECT_EQ(ReadFileBytes(Local("a.txt")), "local a");
    EXPECT_EQ(Attributes(Local("a.txt")) & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_READONLY), DWORD{FILE_ATTRIBUTE_HIDDEN})
        << "the date check clears only the read-only attribute";
}

TEST_F(Entries, SubFoldersAreCreatedAndFetchedWithSlashes) {
    MakeFolder(root / "VTupdates\\maps");
    Serve("maps\\arena.ini", "[arena]");
    EXPECT_TRUE(Process("maps\\arena.ini|sub\\\\dir\\\\arena.ini|immer"));
    EXPECT_EQ(ReadFileBytes(Local("sub\\dir\\arena.ini")), "[arena]");
    EXPECT_EQ(Requests("maps/arena.ini"), 1);
}

TEST_F(Entries, AFailedFetchFailsTheEntry) {
    EXPECT_FALSE(Process("gone.txt|gone.txt|immer"));
    EXPECT_FALSE(PathExists(Local("gone.txt")));
}

TEST_F(Entries, PathsLeavingTheModAreRefusedBeforeAnythingIsWritten) {
    for (const char* local : {"..\\..\\evil.txt", "C:\\evil.txt", "\\\\server\\share\\evil.txt", "a\\..\\..\\..\\evil.txt",
                              "a.txt:stream"}) {
        SCOPED_TRACE(local);
        EXPECT_FALSE(Process(std::string("a.txt|") + local + "|immer"));
    }
    EXPECT_TRUE(view.statuses.empty());
    EXPECT_EQ(Requests("a.txt"), 0);
    // One level up is still the mod's own install root.
    EXPECT_TRUE(Process("a.txt|..\\DATA\\a.txt|immer"));
    EXPECT_EQ(ReadFileBytes(install / "DATA\\a.txt"), "server a");
}

// Names Windows can have no file by fail the entry before anything is asked
// of the server or written: every run would otherwise fetch and fail there.
TEST_F(Entries, NamesWindowsCannotHaveAreRefusedBeforeAnythingIsFetched) {
    for (const char* local : {"nul.txt", "maps\\CON", "Aux .ini", "colon:star*.txt", "q?.txt", "a\x01.txt"}) {
        SCOPED_TRACE(local);
        EXPECT_FALSE(Process(std::string("a.txt|") + local + "|immer"));
    }
    EXPECT_TRUE(view.statuses.empty());
    EXPECT_EQ(Requests("a.txt"), 0);
    EXPECT_FALSE(PathExists(settings.AppDir + "maps"));
    EXPECT_TRUE(Process("a.txt|console.txt|immer"));
    EXPECT_EQ(ReadFileBytes(Local("console.txt")), "server a");
}

TEST_F(Entries, ALockedLocalFileEndsWithTheFileAccessBox) {
    WriteFileBytes(Local("a.txt"), "local a");
    HANDLE lock = ::CreateFileA(Local("a.txt").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(lock, INVALID_HANDLE_VALUE);
    try {
        Process("a.txt|a.txt|2008-01-28 14:30");
        ADD_FAILURE() << "no FILE ACCESS ERROR";
    } catch (const FileAccessFailure& end) {
        EXPECT_EQ(end.localFile, Local("a.txt"));
    }
    ::CloseHandle(lock);
    EXPECT_EQ(Requests("a.txt"), 0);
}

class Run : public Entries {
protected:
    Run() { Serve("start.htm", "<!-- Vortane Mod Launcher -->\r\n<html></html>"); }
    RunEnding RunOnce() { return UpdateRun(context).Run().ending; }
};

TEST_F(Run, EntriesGetTheirIndicesAndTheListFilesGoAtDone) {
    // One at a time, every entry is named in turn (with fetches alongside,
    // the text names the entry still being fetched, however long it takes).
    settings.MaxDownloads = "1";
    Serve("update.dat", "header\r\na.txt|a.txt|immer\r\nb.txt|b.txt|immer");
    Serve("b.txt", "server b");
    WriteFileBytes(Local("update.dat"), "old list");
    SetAttributes(Local("update.dat"), FILE_ATTRIBUTE_READONLY);
    EXPECT_EQ(RunOnce(), RunEnding::Done);
    EXPECT_EQ(view.statuses, (std::vector<std::string>{"DOWNLOADING PATCHRULES...", "DOWNLOADING File 1 ...",
                                                        "DOWNLOADING File 2 ...", "Done."}));
    EXPECT_EQ(view.navigations, std::vector<std::string>{settings.WebPath + "start.htm"});
    EXPECT_EQ(ReadFileBytes(Local("b.txt")), "server b");
    for (const char* gone : {"update.dat", "NEWUPDATE.TXT", "delete_me.txt"}) EXPECT_FALSE(PathExists(Local(gone))) << gone;
}

TEST_F(Run, ALeftoverReadOnlyListIsReplacedAndAnLfOnlyListIsRead) {
    WriteFileBytes(Local("NEWUPDATE.TXT"), "stale");
    SetAttributes(Local("NEWUPDATE.TXT"), FILE_ATTRIBUTE_READONLY);
    Serve("update.dat", "header\na.txt|a.txt|immer\n");
    EXPECT_EQ(RunOnce(), RunEnding::Done);
    EXPECT_EQ(Requests("a.txt"), 1);
    EXPECT_EQ(ReadFileBytes(Local("a.txt")), "server a");
    EXPECT_FALSE(PathExists(Local("NEWUPDATE.TXT")));
}

TEST_F(Run, TheFirstFailingEntryStopsTheRunAndKeepsTheList) {
    Serve("update.dat", "header\r\na.txt|a.txt|immer\r\ngone.txt|gone.txt|immer\r\nb.txt|b.txt|immer\r\n");
    Serve("b.txt", "server b");
    WriteFileBytes(Local("b.txt"), "player's b");
    EXPECT_EQ(RunOnce(), RunEnding::E4);
    EXPECT_EQ(view.statuses.back(), "Vortane Update not found ... only Singleplayer available [E4]");
    EXPECT_EQ(ReadFileBytes(Local("a.txt")), "server a");
    EXPECT_EQ(ReadFileBytes(Local("b.txt")), "player's b");  // fetched alongside, maybe, but never put in place
    EXPECT_FALSE(PathExists(Local("b.txt.vtpart")));
    EXPECT_TRUE(PathExists(Local("NEWUPDATE.TXT")));
}

// One at a time, an entry after the failing one is not even asked for.
TEST_F(Run, OneAtATimeStopsBeforeTheNextRequest) {
    settings.MaxDownloads = "1";
    Serve("update.dat", "header\r\na.txt|a.txt|immer\r\ngone.txt|gone.txt|immer\r\nb.txt|b.txt|immer\r\n");
    EXPECT_EQ(RunOnce(), RunEnding::E4);
    EXPECT_EQ(ReadFileBytes(Local("a.txt")), "server a");
    EXPECT_EQ(Requests("b.txt"), 0);
    EXPECT_EQ(server.PeakAnswers(), 1);
}

// A two-digit year in a stamp means what the player's region settings say.
// Wine 8 (like newer Windows) sets the limit at 2049 and does not let the
// registry move it, so "49" is 2049 there: newer than a file of 2030. A fixed
// 1930-2029 window read it as 1949 and kept the file.
TEST_F(Entries, TwoDigitYearsFollowTheSystemsSetting) {
    DWORD limit = 0;
    ASSERT_TRUE(::GetCalendarInfoA(LOCALE_USER_DEFAULT, CAL_GREGORIAN, CAL_ITWODIGITYEARMAX | CAL_RETURN_NUMBER, nullptr,
                                   0, &limit));
    ASSERT_GE(limit, 2049u) << "this test needs a system whose two-digit years reach 2049";
    WriteFileBytes(Local("a.txt"), "local a");
    SetLocalWriteTime(Local("a.txt"), 2030, 1, 1, 0, 0, 0);
    EXPECT_TRUE(Process("a.txt|a.txt|49-01-01 00:00"));
    EXPECT_EQ(ReadFileBytes(Local("a.txt")), "server a") << "49 was not read as 2049";
    SetLocalWriteTime(Local("a.txt"), 2030, 1, 1, 0, 0, 0);
    EXPECT_TRUE(Process("a.txt|a.txt|29-01-01 00:00"));  // 2029: the file of 2030 is newer
    EXPECT_EQ(Requests("a.txt"), 1);
}

// What a stopped run left beside a file (Quit during its fetch) goes at the
// next run, also when the file itself is up to date by then.
TEST_F(Entries, LeftoverPartOfAStoppedRunIsRemovedByTheNextRun) {
    WriteFileBytes(Local("a.txt"), "local a");
    SetLocalWriteTime(Local("a.txt"), 2020, 1, 1, 0, 0, 0);
    WriteFileBytes(Local("a.txt.vtpart"), std::string(4096, 'p'));
    EXPECT_TRUE(Process("a.txt|a.txt|2010-01-01 00:00"));
    EXPECT_FALSE(PathExists(Local("a.txt.vtpart")));
    EXPECT_EQ(ReadFileBytes(Local("a.txt")), "local a");
    EXPECT_EQ(Requests("a.txt"), 0);
}

// The FILE ACCESS ERROR is one of the run's outcomes: the window, not the
// run's thread, shows its box and ends the program.
TEST_F(Run, ALockedLocalFileIsTheFileAccessOutcome) {
    Serve("update.dat", "header\r\na.txt|a.txt|immer\r\nb.txt|b.txt|2008-01-28 14:30\r\nc.txt|c.txt|immer");
    Serve("b.txt", "server b");
    Serve("c.txt", "server c");
    WriteFileBytes(Local("b.txt"), "local b");
    Fault slow;  // a.txt is still being fetched when b.txt is decided on
    slow.kind = Fault::Kind::Stall;
    slow.ms = 300;
    server.SetFault("/VTupdates/a.txt", slow);
    win::UniqueFileHandle lock(::CreateFileA(Local("b.txt").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(lock);
    const RunOutcome outcome = UpdateRun(context).Run();
    EXPECT_EQ(outcome.fileAccessError, Local("b.txt"));
    EXPECT_TRUE(outcome.failure.empty());
    EXPECT_EQ(ReadFileBytes(Local("a.txt")), "server a");  // the entry before it is in place
    EXPECT_EQ(Requests("c.txt"), 0);                       // nothing after it was processed
    // The wait for a.txt named a.txt's entry; the box is about b.txt's.
    EXPECT_EQ(view.statuses.back(), "DOWNLOADING File 2 ...");
}

// A virus scanner or indexer holds a file for a moment: the look waits it
// out instead of ending the launcher with the FILE ACCESS ERROR.
TEST_F(Run, AFileHeldForAMomentAsTheRunLooksAtItIsFetched) {
    Serve("update.dat", "header\r\na.txt|a.txt|2008-01-28 14:30\r\n");
    WriteFileBytes(Local("a.txt"), "local a");
    SetLocalWriteTime(Local("a.txt"), 2001, 1, 1, 0, 0, 0);
    HeldFile held(Local("a.txt"), 1500);
    ASSERT_TRUE(held.Held());
    const RunOutcome outcome = UpdateRun(context).Run();
    EXPECT_TRUE(outcome.fileAccessError.empty());
    EXPECT_EQ(outcome.ending, RunEnding::Done);
    EXPECT_EQ(ReadFileBytes(Local("a.txt")), "server a");
}

// The old copy held (reading, sharing all but its deletion, as a scanner
// does) as its replacement arrives: the replace waits, the fetch is kept.
TEST_F(Run, AnOldFileHeldAsItsReplacementArrivesIsReplacedOnceLetGo) {
    Serve("update.dat", "header\r\na.txt|a.txt|immer\r\n");
    WriteFileBytes(Local("a.txt"), "local a");
    HeldFile held(Local("a.txt"), 2500, FILE_SHARE_READ | FILE_SHARE_WRITE);
    ASSERT_TRUE(held.Held());
    EXPECT_EQ(RunOnce(), RunEnding::Done);
    EXPECT_EQ(ReadFileBytes(Local("a.txt")), "server a");
    EXPECT_EQ(Requests("a.txt"), 1) << "the fetch was thrown away and made again";
}

// Held for longer than any scanner: E4 as before, the old file as it was,
// and the log says how long the run waited.
TEST_F(Run, AnOldFileHeldForGoodIsE4WithTheWaitInTheLog) {
    win::ProgramLog fileLog(install.path(), "run.log");
    fileLog.ReportHeldFiles();
    RunContext logged{settings, transfer.Timeouts(), view, fileLog};
    Serve("update.dat", "header\r\na.txt|a.txt|immer\r\n");
    WriteFileBytes(Local("a.txt"), "local a");
    {
        HeldFile held(Local("a.txt"), HeldFile::kUntilGone, FILE_SHARE_READ | FILE_SHARE_WRITE);
        ASSERT_TRUE(held.Held());
        EXPECT_EQ(UpdateRun(logged).Run().ending, RunEnding::E4);
    }
    EXPECT_EQ(ReadFileBytes(Local("a.txt")), "local a");
    EXPECT_EQ(view.statuses.back(), "Vortane Update not found ... only Singleplayer available [E4]");
    const std::string text = ReadFileBytes(install / "run.log");
    EXPECT_NE(text.find("HELD " + Local("a.txt") + ": held by another program, waited "), std::string::npos) << text;
    EXPECT_NE(text.find(", still held"), std::string::npos) << text;
}

// Several fetches at once: they overlap, every file arrives, and nothing of
// the partial files stays.
TEST_F(Run, SeveralFilesAreFetchedAtOnce) {
    std::string list = "header\r\n";
    Fault slow;
    slow.kind = Fault::Kind::Stall;
    slow.ms = 300;
    for (int i = 0; i < 8; ++i) {
        const std::string name = "f" + std::to_string(i) + ".txt";
        Serve(name, "server " + name);
        server.SetFault("/VTupdates/" + name, slow);
        list += name + "|" + name + "|immer\r\n";
    }
    Serve("update.dat", list);
    settings.MaxDownloads = "4";
    EXPECT_EQ(RunOnce(), RunEnding::Done);
    for (int i = 0; i < 8; ++i) {
        const std::string name = "f" + std::to_string(i) + ".txt";
        EXPECT_EQ(ReadFileBytes(Local(name)), "server " + name);
    }
    EXPECT_GE(server.PeakAnswers(), 2) << "the fetches did not overlap";
    EXPECT_LE(server.PeakAnswers(), 4) << "more at once than MAXDOWNLOADS=";
    EXPECT_FALSE(PathExists(Local("f0.txt.vtpart")));
}

// The run ends as it would one at a time: entries before the failing one are
// in place even when they finish after it, the ones after it keep the
// player's files, and no partial file stays.
TEST_F(Run, AFailingEntryInTheMiddleKeepsTheOrder) {
    Serve("slow.txt", "server slow");
    Fault slow;
    slow.kind = Fault::Kind::Stall;
    slow.ms = 400;
    server.SetFault("/VTupdates/slow.txt", slow);
    Serve("b.txt", "server b");
    Serve("c.txt", "server c");
    WriteFileBytes(Local("b.txt"), "player's b");
    WriteFileBytes(Local("c.txt"), "player's c");
    Serve("update.dat",
          "header\r\nslow.txt|slow.txt|immer\r\na.txt|a.txt|immer\r\ngone.txt|gone.txt|immer\r\n"
          "b.txt|b.txt|immer\r\nc.txt|c.txt|immer\r\n");
    EXPECT_EQ(RunOnce(), RunEnding::E4);
    EXPECT_EQ(ReadFileBytes(Local("slow.txt")), "server slow");
    EXPECT_EQ(ReadFileBytes(Local("a.txt")), "server a");
    EXPECT_EQ(ReadFileBytes(Local("b.txt")), "player's b");
    EXPECT_EQ(ReadFileBytes(Local("c.txt")), "player's c");
    for (const char* name : {"slow.txt", "a.txt", "gone.txt", "b.txt", "c.txt"})
        EXPECT_FALSE(PathExists(Local(std::string(name) + ".vtpart"))) << name;
    EXPECT_NE(context.lastFailure.find("gone.txt"), std::string::npos) << context.lastFailure;
}

// A malformed or refused entry ends the run with the fetches before it in place.
TEST_F(Run, AMalformedEntryWaitsForTheFetchesBeforeIt) {
    Fault slow;
    slow.kind = Fault::Kind::Stall;
    slow.ms = 300;
    server.SetFault("/VTupdates/a.txt", slow);
    for (const char* bad : {"\r\n", "..\\..\\x.txt|..\\..\\x.txt|immer\r\n"}) {
        ::DeleteFileA(Local("a.txt").c_str());
        Serve("update.dat", std::string("header\r\na.txt|a.txt|immer\r\n") + bad);
        EXPECT_EQ(RunOnce(), RunEnding::E4) << bad;
        EXPECT_EQ(ReadFileBytes(Local("a.txt")), "server a") << bad;
    }
}

// The ENDING line names what ended the run, never a failure it went past:
// the side file's 404 (the date rule then decides) is no cause of an E4 for
// a line that is not an entry, nor of the E1 when the list cannot be fetched.
TEST_F(Run, TheEndingsCauseIsWhatEndedTheRunNotAFailureItWentPast) {
    Serve("update.dat", "header\r\na.txt|a.txt|immer\r\nnot an entry\r\n");
    EXPECT_EQ(RunOnce(), RunEnding::E4);
    EXPECT_EQ(context.lastFailure, "") << "a malformed line has no fetch to blame";

    Serve("update.dat", "header\r\na.txt|a.txt|immer\r\ngone.txt|gone.txt|immer\r\n");
    EXPECT_EQ(RunOnce(), RunEnding::E4);
    EXPECT_EQ(context.lastFailure.find("vtsums"), std::string::npos) << context.lastFailure;
    EXPECT_NE(context.lastFailure.find("gone.txt"), std::string::npos) << context.lastFailure;

    EXPECT_TRUE(::DeleteFileA((root / "VTupdates\\update.dat").c_str()));
    EXPECT_EQ(RunOnce(), RunEnding::E1);
    EXPECT_NE(context.lastFailure.find("update.dat: "), std::string::npos) << context.lastFailure;
    EXPECT_EQ(context.lastFailure.find("vtsums"), std::string::npos) << context.lastFailure;
}

// A file listed twice is decided on, the second time, after the first fetch
// put it in place: it is then up to date and fetched once, as one at a time.
TEST_F(Run, AFileListedTwiceIsDecidedAfterItsFirstFetch) {
    Fault slow;
    slow.kind = Fault::Kind::Stall;
    slow.ms = 200;
    server.SetFault("/VTupdates/a.txt", slow);
    Serve("update.dat", "header\r\na.txt|a.txt|immer\r\na.txt|A.TXT|2008-01-28 14:30\r\n");
    EXPECT_EQ(RunOnce(), RunEnding::Done);
    EXPECT_EQ(Requests("a.txt"), 1);
    EXPECT_EQ(ReadFileBytes(Local("a.txt")), "server a");
}

// The same file under other spellings ("." and ".." on the way): each waits
// for the fetch before it, instead of both writing one partial file at once
// (which ended the run with E4, "Sharing violation").
TEST_F(Run, AFileListedTwiceUnderOtherSpellingsIsFetchedOneAfterTheOther) {
    Fault slow;
    slow.kind = Fault::Kind::Stall;
    slow.ms = 300;
    server.SetFault("/VTupdates/a.txt", slow);
    settings.MaxDownloads = "4";
    Serve("update.dat", "header\r\na.txt|..\\DATA\\x.txt|immer\r\na.txt|..\\DATA\\sub\\..\\x.txt|immer\r\n"
                        "a.txt|..\\VT\\..\\DATA\\.\\x.txt|immer\r\n");
    EXPECT_EQ(RunOnce(), RunEnding::Done) << context.lastFailure;
    EXPECT_EQ(ReadFileBytes(install / "DATA\\x.txt"), "server a");
    EXPECT_EQ(server.PeakAnswers(), 1) << "two spellings of one file were fetched at once";
    EXPECT_FALSE(PathExists(install / "DATA\\sub")) << "a folder no file lies in was made";
}

// A stopped run's partial file that no entry needs any more goes at "Done.".
TEST_F(Run, PartialFilesNoEntryNeededGoAtDone) {
    WriteFileBytes(Local("old.pak.vtpart"), std::string(100, 'p'));
    WriteFileBytes(Local("old.pak.vtresume"), FormatResumeRecord({"http://127.0.0.1:1/old.pak", "\"v\"", 1000}));
    Serve("update.dat", "header\r\na.txt|a.txt|immer\r\n");
    EXPECT_EQ(RunOnce(), RunEnding::Done);
    EXPECT_FALSE(PathExists(Local("old.pak.vtpart")));
    EXPECT_FALSE(PathExists(Local("old.pak.vtresume")));
}

// A server that asks for a pause (503 with Retry-After) gets fewer fetches at
// once for the rest of the run.
TEST(FetchPoolThrottle, RetryAfterHalvesTheFetchesAtOnce) {
    TempDir root, install;
    MakeFolder(root / "VTupdates");
    WriteFileBytes(root / "VTupdates\\a.txt", "server a");
    TestServer server(root.path());
    Fault busy;
    busy.kind = Fault::Kind::FailTimes;
    busy.status = 503;
    busy.count = 1;
    busy.headers = "Retry-After: 1\r\n";
    server.SetFault("/VTupdates/a.txt", busy);
    FetchPool pool(6, QuickTimeouts());
    pool.Submit(1, FetchRequest{server.BaseUrl() + "/VTupdates/a.txt", install / "a.txt"});
    const std::unique_ptr<PoolFetch> fetch = pool.TakeOldest();
    ASSERT_TRUE(fetch->outcome.ok) << fetch->outcome.error;
    EXPECT_TRUE(fetch->outcome.throttled);
    EXPECT_EQ(pool.FetchesAtOnce(), 3);
    ASSERT_TRUE(fetch->part->ReplaceTarget());
    EXPECT_EQ(ReadFileBytes(install / "a.txt"), "server a");
}

// A patch list over 64 MiB (a body that never ends, a wrong file) fails its
// fetch: E1, with nothing held or written, instead of being read whole. (The
// server announces the length and sends a little: a test server blocked in
// sending 64 MiB to a client that refused them cannot be stopped under Wine.)
TEST_F(Run, AListOverItsCapIsE1) {
    Fault huge;
    huge.kind = Fault::Kind::Raw;
    huge.body = "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(kPageAndListCap + 1) +
                "\r\n\r\nheader\r\na.txt|a.txt|immer\r\n";
    server.SetFault("/VTupdates/update.dat", huge);
    EXPECT_EQ(RunOnce(), RunEnding::E1);
    EXPECT_FALSE(PathExists(Local("NEWUPDATE.TXT")));
    EXPECT_FALSE(PathExists(Local("NEWUPDATE.TXT.vtpart")));
    EXPECT_EQ(Requests("a.txt"), 0);
    EXPECT_NE(context.lastFailure.find("over the cap"), std::string::npos) << context.lastFailure;
}

// A list written before lists were UTF-8, in Windows-1252: its names are read
// in the system's code page (1252 here), fetched by their UTF-8 URL and
// installed under the names the publisher meant. A UTF-8 list beside it
// keeps its names too.
TEST_F(Run, AWindows1252ListStillInstallsItsFilesUnderTheirNames) {
    ASSERT_EQ(::GetACP(), 1252u) << "the prefix's ANSI code page is what this case is about";
    Serve("Übersicht.txt", "overview");
    Serve("forêt.ini", "forest");
    Serve("update.dat", "header\r\n\xDC" "bersicht.txt|\xDC" "bersicht.txt|immer\r\nfor\xC3\xAA" "t.ini|for\xC3\xAA" "t.ini|immer\r\n");
    EXPECT_EQ(RunOnce(), RunEnding::Done) << context.lastFailure;
    EXPECT_EQ(ReadFileBytes(Local("Übersicht.txt")), "overview");
    EXPECT_EQ(ReadFileBytes(Local("forêt.ini")), "forest");
    // The URL carries the name's UTF-8 bytes, as a server with UTF-8 names
    // (nginx on Linux, IIS) needs them.
    EXPECT_EQ(server.RequestCount("/VTupdates/%C3%9Cbersicht.txt"), 1);
}

// The launcher's folder over 300 characters deep (and an entry's file deeper
// still): every file of the run (the probe, the list, the side file, partial
// files, the hash cache) is made, replaced and removed there.
TEST_F(Run, AnInstallFolderOfThreeHundredCharactersUpdates) {
    std::string folder = install.path();
    for (const char part : {'1', '2', '3'}) {
        folder += std::string(100, 'f') + part + "\\";
        MakeFolder(folder);
    }
    ASSERT_GT(folder.size(), 300u);
    settings.AppDir = folder;
    Serve("update.dat", "header\r\na.txt|" + std::string(60, 'e') + "\\a.txt|immer\r\n");
    EXPECT_EQ(RunOnce(), RunEnding::Done) << context.lastFailure;
    EXPECT_EQ(ReadFileBytes(folder + std::string(60, 'e') + "\\a.txt"), "server a");
    for (const char* gone : {"update.dat", "NEWUPDATE.TXT", "delete_me.txt"}) EXPECT_FALSE(PathExists(folder + gone)) << gone;
}

// A list long enough for the opens ahead: a file held without sharing deep in
// it is still the FILE ACCESS ERROR at its own entry, with the entries before
// it in place (one fetched halfway, one fetched and then decided on again as
// the file it became) and none after it looked at or fetched.
TEST_F(Run, ALockedFileDeepInALongListIsStillTheFileAccessOutcomeAtItsEntry) {
    for (const char* maxDownloads : {"1", "4"}) {
        SCOPED_TRACE(maxDownloads);
        settings.MaxDownloads = maxDownloads;
        std::string list = "header\r\n";
        for (int i = 1; i <= 300; ++i) {
            const std::string name = "f" + std::to_string(i) + ".txt";
            WriteFileBytes(Local(name), "local");  // written now: newer than 2008
            if (i == 50 || i == 100) Serve(name, "server " + name);
            if (i == 50) list += name + "|" + name + "|immer\r\n";
            else if (i == 100) list += name + "|" + name + "|2099-01-01 00:00\r\n";  // older than the list says
            else if (i == 150) list += "f50.txt|f50.txt|2008-01-28 14:30\r\n";        // f50.txt as fetched
            else if (i > 200) list += name + "|" + name + "|immer\r\n";
            else list += name + "|" + name + "|2008-01-28 14:30\r\n";
        }
        Serve("update.dat", list);
        const int f50Before = Requests("f50.txt");
        const int f201Before = Requests("f201.txt");
        win::UniqueFileHandle lock(
            ::CreateFileA(Local("f200.txt").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
        ASSERT_TRUE(lock);
        const RunOutcome outcome = UpdateRun(context).Run();
        EXPECT_EQ(outcome.fileAccessError, Local("f200.txt"));
        EXPECT_EQ(ReadFileBytes(Local("f50.txt")), "server f50.txt");
        EXPECT_EQ(ReadFileBytes(Local("f100.txt")), "server f100.txt");
        EXPECT_EQ(Requests("f50.txt") - f50Before, 1) << "f50.txt was decided on again before it was in place";
        EXPECT_EQ(Requests("f201.txt") - f201Before, 0) << "an entry after the FILE ACCESS ERROR was processed";
        EXPECT_EQ(view.statuses.back(), "DOWNLOADING File 200 ...");
        view.statuses.clear();
    }
}
