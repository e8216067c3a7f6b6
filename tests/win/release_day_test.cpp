// Partial updates under Wine against the test server: a big file the player
// has an older copy of is built from that copy and fetched ranges, and every
// doubt ends with the right file fetched whole. Also the list and its side
// file asked for past caches, and asked again when they are out of step.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <functional>
#include <random>
#include <thread>
#include <vector>

#include "config/settings.h"
#include "launcher/rules/block_index.h"
#include "launcher/rules/side_file.h"
#include "launcher/win/fetch/block_patch.h"
#include "launcher/win/fetch/part_file.h"
#include "launcher/win/fetch/sources.h"
#include "launcher/win/fetch/fetch_progress.h"
#include "launcher/win/run/update_run.h"
#include "platform/win/files.h"
#include "platform/win/text_codes.h"
#include "support/null_view.h"
#include "support/quick_transfer.h"
#include "support/test_support.h"
#include "test_server.h"
#include "tools/vtlist/side_make.h"

using namespace vt;
using namespace vt::launcher;
using namespace vt::test;
using vt::testing::Fault;
using vt::testing::TestServer;

namespace {

constexpr char kList[] = "Vortane\r\nmaps/world.pak|world.pak|immer\r\nreadme.txt|readme.txt|immer\r\n";

Fault Kind(Fault::Kind kind) {
    Fault fault;
    fault.kind = kind;
    return fault;
}

std::string RandomBytes(std::size_t size, unsigned seed) {
    std::mt19937 random(seed);
    std::string bytes(size, '\0');
    for (char& c : bytes) c = static_cast<char>(random());
    return bytes;
}

// `bytes` with `length` bytes from `at` on changed, as a changed region of a
// packed file.
std::string WithChangedRegion(std::string bytes, std::size_t at, std::size_t length) {
    for (std::size_t i = at; i < at + length; ++i) bytes[i] = static_cast<char>(bytes[i] ^ 0x3c);
    return bytes;
}

// The next release of `old`: 4 KiB inserted near the start and three regions
// changed further on, as a packed file changes between releases.
std::string NextRelease(const std::string& old) {
    std::string next = old;
    next.insert(10000, RandomBytes(4096, 99));
    for (std::size_t at : {500000u, 1500000u, 2500000u})
        for (std::size_t i = 0; i < 20000; ++i) next[at + i] = static_cast<char>(next[at + i] ^ 0x3c);
    return next;
}

// A launcher installed in the folder "VT" below `install` (which ends in a backslash), updating from `webPath`.
LauncherSettings SettingsFor(const std::string& install, const std::string& webPath, const char* maxDownloads) {
    LauncherSettings settings;
    settings.AppDir = install + "VT\\";
    settings.WebPath = webPath;
    settings.WebPage = "start.htm";
    settings.LocalPage = "LocalLauncher.htm";
    settings.PatchListName = "update.dat";
    settings.MaxDownloads = maxDownloads;
    return settings;
}

// The release of kList into `folder` as vtlist make writes it: the big file,
// the list, the block index and the side file; returns the side file.
std::string WriteRelease(const std::string& folder, const std::string& pak) {
    WriteFileBytes(folder + "\\maps\\world.pak", pak);
    WriteFileBytes(folder + "\\update.dat", kList);
    std::vector<std::string> problems;
    std::vector<vtlist::BlockIndexFile> indexes;
    const std::string sums = vtlist::MakeSideFile(kList, folder, {}, nullptr, problems, nullptr, &indexes);
    EXPECT_TRUE(problems.empty() && indexes.size() == 1);
    for (const auto& index : indexes) WriteFileBytes(index.path, index.bytes);
    WriteFileBytes(folder + "\\update.dat.vtsums", sums);
    return sums;
}

// An installed launcher and what its update runs work with.
class LauncherRun : public ::testing::Test {
protected:
    LauncherRun() : transfer(QuickTimeouts()) { MakeFolder(install / "VT"); }
    std::string Local(const std::string& name) const { return settings.AppDir + name; }
    RunEnding RunOnce() {
        context.lastFailure.clear();
        return UpdateRun(context).Run().ending;
    }
    std::string LogText() { return ReadFileBytes(logFile); }

    TempDir install;
    InternetTransfer transfer;
    LauncherSettings settings;
    NullView view;
    std::string logFile = install / "run.log";
    win::ProgramLog log{install.path(), "run.log"};
    RunContext context{settings, transfer.Timeouts(), view, log};
};

class Partial : public LauncherRun {
protected:
    Partial() : server(root.path()) {
        MakeFolder(root / "VTupdates");
        MakeFolder(root / "VTupdates\\maps");
        Serve("start.htm", "<!-- Vortane Mod Launcher -->\r\n<html></html>");
        Serve("readme.txt", "read me");
        settings = SettingsFor(install.path(), server.BaseUrl() + "/VTupdates/", "2");
    }
    void Serve(const std::string& name, const std::string& bytes) {
        server.WaitUntilIdle(5000);
        WriteFileBytes(root / ("VTupdates\\" + name), bytes);
    }
    std::string Release(const std::string& pak) {
        server.WaitUntilIdle(5000);
        return WriteRelease(root / "VTupdates", pak);
    }
    // The requests for the big file that asked for ranges.
    std::vector<std::string> RangesAsked() const {
        std::vector<std::string> ranges;
        for (const auto& request : server.Requests())
            if (request.target == "/VTupdates/maps/world.pak" && !request.range.empty()) ranges.push_back(request.range);
        return ranges;
    }

    // A native process that changes the old copy once the partial file
    // appears (tests/win/support/tamper_old_copy.py); it writes a file when
    // it is through.
    void StartTamper(const char* mode, std::uint64_t offset, std::uint64_t length, std::uint64_t trigger) {
        const std::string script = SourceDir() + "\\tests\\win\\support\\tamper_old_copy.py";
        const std::string command = "\"" + BuildDir() + "\\tests\\win\\vt_spawn_unix.exe\" Z:\\usr\\bin\\python3 \"" + UnixPathOf(script) + "\" " + mode + " \"" +
                                    UnixPathOf(Local("world.pak.vtpart")) + "\" \"" + UnixPathOf(Local("world.pak")) +
                                    "\" " + std::to_string(offset) + " " + std::to_string(length) + " " +
                                    std::to_string(trigger) + " \"" + UnixPathOf(tamperDone) + "\"";
        // Wine starts a Unix program, but its handle cannot be waited for:
        // the file it writes says it is through. Started by a helper
        // process (vt_spawn_unix): a Wine process that has started a Unix
        // program itself no longer reads back what it writes to a file it
        // opens later (Wine 8), which the next test's log checks would meet.
        StartProgram(command, install.path());
        for (int i = 0; i < 200 && !PathExists(tamperDone + ".ready"); ++i) ::Sleep(25);
        ASSERT_TRUE(PathExists(tamperDone + ".ready")) << "the native process did not start: " << command;
    }
    bool WaitForTamper() {
        for (int i = 0; i < 200 && !PathExists(tamperDone); ++i) ::Sleep(50);
        return ReadFileBytes(tamperDone).rfind("gave up", 0) != 0 && PathExists(tamperDone);
    }

    TempDir root;
    TestServer server;
    std::string tamperDone = install / "tamper.done";
    const std::string v1 = RandomBytes(3 * 1024 * 1024 + 123, 1);
    const std::string v2 = NextRelease(v1);
};

}  // namespace

TEST_F(Partial, AnOlderCopyIsUpdatedByFetchingOnlyTheRangesItLacks) {
    Release(v1);
    ASSERT_EQ(RunOnce(), RunEnding::Done) << context.lastFailure;  // no old copy: whole
    ASSERT_EQ(ReadFileBytes(Local("world.pak")), v1);
    EXPECT_TRUE(RangesAsked().empty());

    Release(v2);
    const std::uint64_t before = server.BytesSent();
    ASSERT_EQ(RunOnce(), RunEnding::Done) << context.lastFailure;
    EXPECT_EQ(ReadFileBytes(Local("world.pak")), v2);
    const std::uint64_t sent = server.BytesSent() - before;
    // The index (about 6 KiB), the changed blocks (about 80 KiB with their
    // edges), the list, the side file and the heads: far from 3 MiB.
    EXPECT_LT(sent, 200u * 1024) << sent;
    const std::vector<std::string> ranges = RangesAsked();
    ASSERT_EQ(ranges.size(), 1u);  // every range in one request
    EXPECT_NE(ranges[0].find(','), std::string::npos) << ranges[0];
    EXPECT_EQ(server.RequestCount("/VTupdates/maps/world.pak.vtblocks"), 1);
    EXPECT_NE(LogText().find("partial: reused="), std::string::npos) << LogText();
    EXPECT_FALSE(PathExists(Local("world.pak.vtpart")));

    // A server that answers one range of several is asked one at a time.
    WriteFileBytes(Local("world.pak"), v1);
    server.SetFault("/VTupdates/maps/world.pak", Kind(Fault::Kind::SingleRange));
    ASSERT_EQ(RunOnce(), RunEnding::Done) << context.lastFailure;
    EXPECT_EQ(ReadFileBytes(Local("world.pak")), v2);
    EXPECT_GT(RangesAsked().size(), 3u);
}

// A copy big enough to be searched in two halves at once: blocks on both
// sides of the seam, and across it, are found where they lie in the copy.
TEST_F(Partial, ABigCopyIsSearchedInTwoHalvesAndBuiltExactly) {
    const std::string big1 = RandomBytes(20 * 1024 * 1024 + 77, 5);
    std::string big2 = big1;
    big2.insert(1000, RandomBytes(4096, 6));  // everything after it shifts, across the seam too
    for (const std::size_t at : {big1.size() / 4, big1.size() / 2 + 50000, big1.size() - 100000})
        for (std::size_t i = 0; i < 8000; ++i) big2[at + i] = static_cast<char>(big2[at + i] ^ 0x3c);
    Release(big1);
    ASSERT_EQ(RunOnce(), RunEnding::Done) << context.lastFailure;
    Release(big2);
    const std::uint64_t before = server.BytesSent();
    ASSERT_EQ(RunOnce(), RunEnding::Done) << context.lastFailure;
    EXPECT_EQ(ReadFileBytes(Local("world.pak")), big2);
    EXPECT_NE(LogText().find("partial: reused="), std::string::npos) << LogText();
    // The index (about 40 KiB) and four changed places with their edges.
    EXPECT_LT(server.BytesSent() - before, 200u * 1024) << server.BytesSent() - before;
}

// A partial update's progress is the ranges it fetches, as they arrive, at
// the network's rate: under a slow link it showed "0.0 of 12.0 MB" with no
// rate while a batch of ranges came into memory, then the copy's speed as
// the old blocks were written. The old copy's blocks are not fetched and do
// not count.
TEST_F(Partial, APartialUpdatesProgressIsItsRangesAsTheyArrive) {
    const std::optional<SideFile> side = ParseSideFile(Release(v2));
    ASSERT_TRUE(side && side->entries.count(1));
    const SideEntry& expected = side->entries.at(1);
    ASSERT_TRUE(expected.blocks);
    WriteFileBytes(Local("world.pak"), v1);
    constexpr std::uint64_t kLinkRate = 200 * 1024;
    Fault slow = Kind(Fault::Kind::Throttle);
    slow.bytes = kLinkRate;
    server.SetFault("/VTupdates/maps/world.pak", slow);
    FetchRequest request{server.BaseUrl() + "/VTupdates/maps/world.pak", Local("world.pak")};
    request.expected = &expected;
    FetchProgress progress;
    PartFile part(request);
    part.ReportTo(&progress);
    std::atomic<bool> fetched{false};
    FetchOutcome outcome;
    std::thread fetch([&] {
        outcome = FetchToPart(transfer, part, request);
        fetched = true;
    });
    std::vector<BodyProgress> seen;
    for (int i = 0; i < 3000 && !fetched; ++i) {  // bounded: 60 s
        seen.push_back(progress.Snapshot());
        ::Sleep(20);
    }
    fetch.join();
    ASSERT_TRUE(outcome.ok && outcome.patched) << outcome.error << outcome.wholeBecause;
    const BodyProgress body = progress.Snapshot();
    EXPECT_TRUE(body.sized);
    EXPECT_LT(body.total, v2.size() / 2) << "the file's size, not the ranges'";
    EXPECT_EQ(body.received, body.total) << "every range arrived";
    EXPECT_GE(progress.Network(), body.total);
    bool between = false;
    for (const BodyProgress& then : seen) {
        between = between || (then.sized && then.received > 0 && then.received < then.total);
        // Bound with a reason: the server sends at most kLinkRate a second;
        // twice that allows for the rate's window, never the copy's MB/s.
        EXPECT_LE(then.bytesPerSecond, 2 * kLinkRate) << then.received << " of " << then.total;
    }
    EXPECT_TRUE(between) << "the ranges were not shown as they arrived";
}

// A native process (a player's antivirus or backup tool) changes the old
// copy while the file is built from it: share modes do not bind it, and
// bytes it put back afterwards read right to anyone who looks again. What is
// installed is what was written into the partial file, checked by its own
// digest: the changed bytes fail the check and the file is fetched whole,
// right, in the same run; nothing vouches for wrong bytes.
TEST_F(Partial, AnOldCopyChangedDuringTheBuildIsNeverInstalled) {
    const std::string big1 = RandomBytes(64 * 1024 * 1024, 11);
    const std::string big2 = WithChangedRegion(big1, 300000, 20000);
    Release(big2);
    WriteFileBytes(Local("world.pak"), big1);
    const std::uint64_t at = 48ull * 1024 * 1024;
    StartTamper("flip", at, 64 * 1024, at + 64 * 1024 + 1024 * 1024);
    const RunEnding ending = RunOnce();
    EXPECT_TRUE(WaitForTamper()) << "the native process did not change the old copy";
    EXPECT_EQ(ending, RunEnding::Done) << context.lastFailure;
    const std::string installed = ReadFileBytes(Local("world.pak"));
    EXPECT_TRUE(installed == big2) << "the installed file is not the release: "
                                   << (installed == big1 ? "the old copy" : "other bytes") << "\n" << LogText();
    EXPECT_NE(LogText().find("not the one released"), std::string::npos) << LogText();
    EXPECT_FALSE(PathExists(Local("world.pak.vtpart")));
    // The next start agrees: the file is right, and nothing is fetched.
    ASSERT_EQ(RunOnce(), RunEnding::Done) << context.lastFailure;
    EXPECT_EQ(ReadFileBytes(Local("world.pak")), big2);
}

// An old copy cut short while the file is built is a doubt like any other:
// the file is fetched whole in the same run, not an entry that failed.
TEST_F(Partial, AnOldCopyCutShortDuringTheBuildIsFetchedWhole) {
    const std::string big1 = RandomBytes(24 * 1024 * 1024, 12);
    const std::string big2 = WithChangedRegion(big1, 300000, 20000);
    Release(big2);
    WriteFileBytes(Local("world.pak"), big1);
    StartTamper("cut", 1024 * 1024, 0, 0);
    const RunEnding ending = RunOnce();
    EXPECT_TRUE(WaitForTamper()) << "the native process did not cut the old copy";
    ASSERT_EQ(ending, RunEnding::Done) << context.lastFailure << "\n" << LogText();
    EXPECT_EQ(ReadFileBytes(Local("world.pak")), big2);
    EXPECT_NE(LogText().find("the old copy could not be read while the file was built"), std::string::npos)
        << LogText();
}

// One long change is asked for in requests of at most kBytesPerRequest: the
// memory a partial update holds does not grow with the change.
TEST_F(Partial, ALongChangeIsAskedForInPiecesOfTheMostARequestMayBring) {
    const std::string big1 = RandomBytes(20 * 1024 * 1024, 13);
    const std::string big2 = WithChangedRegion(big1, 2000000, 11 * 1024 * 1024);
    Release(big2);
    WriteFileBytes(Local("world.pak"), big1);
    ASSERT_EQ(RunOnce(), RunEnding::Done) << context.lastFailure;
    EXPECT_EQ(ReadFileBytes(Local("world.pak")), big2);
    EXPECT_NE(LogText().find("partial: reused="), std::string::npos) << LogText();
    const std::vector<std::string> ranges = RangesAsked();
    ASSERT_GE(ranges.size(), 3u);
    for (const std::string& header : ranges) {
        std::uint64_t bytes = 0;
        const std::string list = header.substr(header.find('=') + 1);
        for (std::size_t from = 0; from < list.size();) {
            const std::size_t comma = std::min(list.find(',', from), list.size());
            const std::string one = list.substr(from, comma - from);
            const std::size_t dash = one.find('-');
            bytes += std::stoull(one.substr(dash + 1)) - std::stoull(one.substr(0, dash)) + 1;
            from = comma + 1;
        }
        EXPECT_LE(bytes, kBytesPerRequest) << header;
    }
}

// A block index that drips (a byte now and then, never a time-out) is held
// to the rate floor of every fetch: the fetch of it ends, and the file is
// fetched whole, instead of waiting for days. It is asked for once: the
// index is optional, and three tries at the rate floor cost 92 s for a file
// that came whole in under one.
TEST_F(Partial, ADrippingBlockIndexEndsAtTheRateFloorAndTheFileIsFetchedWhole) {
    Release(v2);
    WriteFileBytes(Local("world.pak"), v1);
    Fault drip = Kind(Fault::Kind::Drip);
    drip.bytes = 100;
    drip.ms = 400;
    server.SetFault("/VTupdates/maps/world.pak.vtblocks", drip);
    TransferTimeouts timeouts = QuickTimeouts();
    timeouts.speedTimeMs = 2000;  // at least 1 KiB in every 2 s
    InternetTransfer strict(timeouts);
    const std::optional<SideFile> side = ParseSideFile(ReadFileBytes(root / "VTupdates\\update.dat.vtsums"));
    ASSERT_TRUE(side && side->entries.count(1));
    FetchRequest request{server.BaseUrl() + "/VTupdates/maps/world.pak", Local("world.pak")};
    request.expected = &side->entries.at(1);
    PartFile part(request);
    const ULONGLONG begin = ::GetTickCount64();
    const FetchOutcome outcome = FetchToPart(strict, part, request);
    EXPECT_LT(::GetTickCount64() - begin, 30000u);
    ASSERT_TRUE(outcome.ok) << outcome.error;
    EXPECT_FALSE(outcome.patched);
    EXPECT_NE(outcome.wholeBecause.find("slower than 1024 bytes in 2000 ms"), std::string::npos) << outcome.wholeBecause;
    EXPECT_EQ(server.RequestCount("/VTupdates/maps/world.pak.vtblocks"), 1);
    ASSERT_TRUE(part.ReplaceTarget());
    EXPECT_EQ(ReadFileBytes(Local("world.pak")), v2);
}

// Without PUBLICKEY= a side file is anyone's word: a block index bigger than
// the file can need is not fetched at all (an endless answer would
// otherwise fill the memory up to what the side file claims).
TEST_F(Partial, ABlockIndexBiggerThanItsFileCanNeedIsNotFetched) {
    std::string sums = Release(v2);
    const std::size_t at = sums.find("\r\nblocks 1 ");
    ASSERT_NE(at, std::string::npos) << sums;
    const std::size_t sizeAt = at + std::string("\r\nblocks 1 ").size();
    sums.replace(sizeAt, sums.find(' ', sizeAt) - sizeAt, "3000000000");
    Serve("update.dat.vtsums", sums);
    WriteFileBytes(Local("world.pak"), v1);
    ASSERT_EQ(RunOnce(), RunEnding::Done) << context.lastFailure << LogText();
    EXPECT_EQ(ReadFileBytes(Local("world.pak")), v2);
    EXPECT_EQ(server.RequestCount("/VTupdates/maps/world.pak.vtblocks"), 0);
    EXPECT_NE(LogText().find("more than a file of this size can need"), std::string::npos) << LogText();
}

// A mirror that does not answer for the block index is set aside at once:
// it is not asked for the whole file as well (three time-outs more).
TEST_F(Partial, AMirrorThatCannotServeTheBlockIndexIsSetAsideNotAskedForTheWhole) {
    Release(v2);
    TempDir mirrorRoot;
    MakeFolder(mirrorRoot / "VTupdates");
    MakeFolder(mirrorRoot / "VTupdates\\maps");
    WriteFileBytes(mirrorRoot / "VTupdates\\readme.txt", "read me");
    WriteRelease(mirrorRoot / "VTupdates", v2);
    TestServer mirror(mirrorRoot.path());
    Fault stall = Kind(Fault::Kind::Stall);
    stall.ms = 4000;  // longer than the receive time-out
    mirror.SetFault("/VTupdates/maps/world.pak.vtblocks", stall);
    settings.Mirrors = mirror.BaseUrl() + "/VTupdates/";
    WriteFileBytes(Local("world.pak"), v1);
    ASSERT_EQ(RunOnce(), RunEnding::Done) << context.lastFailure << LogText();
    EXPECT_EQ(ReadFileBytes(Local("world.pak")), v2);
    EXPECT_EQ(mirror.RequestCount("/VTupdates/maps/world.pak"), 0) << LogText();
    EXPECT_NE(LogText().find("set aside: the block index could not be fetched"), std::string::npos) << LogText();
    mirror.WaitUntilIdle(10000);
}

// A copy another program has open for writing could change while the file
// is built from it: it is not built from, and the file is fetched whole.
TEST_F(Partial, ACopyOpenForWritingElsewhereIsNotBuiltFrom) {
    Release(v2);
    WriteFileBytes(Local("world.pak"), v1);
    {
        const win::UniqueFileHandle writer(::CreateFileW(win::PathW(Local("world.pak")).c_str(), GENERIC_WRITE,
                                                         FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                                         OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
        ASSERT_TRUE(writer);
        RunOnce();
    }
    EXPECT_TRUE(RangesAsked().empty());
    EXPECT_NE(LogText().find("whole, because the old copy is open for writing elsewhere"), std::string::npos)
        << LogText();
    ASSERT_EQ(RunOnce(), RunEnding::Done) << context.lastFailure;
    EXPECT_EQ(ReadFileBytes(Local("world.pak")), v2);
}

// Each doubt ends with the file fetched whole, right, and the reason logged.
TEST_F(Partial, EveryDoubtEndsWithTheRightFileFetchedWhole) {
    const std::string sums = Release(v2);
    const std::string index = ReadFileBytes(root / "VTupdates\\maps\\world.pak.vtblocks");
    const struct {
        const char* what;
        std::function<void()> make;
        const char* because;
    } cases[] = {
        {"a server without ranges", [&] { server.SetFault("/VTupdates/maps/world.pak", Kind(Fault::Kind::NoRanges)); },
         "whole, because the server does not answer range requests with ranges"},
        {"a damaged index",
         [&] {
             std::string damaged = index;
             damaged[damaged.size() / 2] ^= 1;
             Serve("maps\\world.pak.vtblocks", damaged);
         },
         "whole, because the block index is not the one the side file names"},
        {"no index", [&] { ::DeleteFileW(win::PathW(root / "VTupdates\\maps\\world.pak.vtblocks").c_str()); },
         "whole, because the block index could not be fetched (HTTP status 404)"},
        {"ranges damaged on the way",
         [&] { server.SetFault("/VTupdates/maps/world.pak", Kind(Fault::Kind::DamageRanges)); },
         "whole, because the file built from the old copy is not the one released"},
    };
    for (const auto& c : cases) {
        server.ClearFaults();
        Serve("maps\\world.pak.vtblocks", index);
        c.make();
        WriteFileBytes(Local("world.pak"), v1);
        const int wholeBefore = static_cast<int>(server.RequestCount("/VTupdates/maps/world.pak") - RangesAsked().size());
        ASSERT_EQ(RunOnce(), RunEnding::Done) << c.what << ": " << context.lastFailure;
        EXPECT_EQ(ReadFileBytes(Local("world.pak")), v2) << c.what;
        EXPECT_NE(LogText().find(c.because), std::string::npos) << c.what << "\n" << LogText();
        const int whole = static_cast<int>(server.RequestCount("/VTupdates/maps/world.pak") - RangesAsked().size());
        EXPECT_GE(whole - wholeBefore, 1) << c.what << ": fetched whole";
        EXPECT_FALSE(PathExists(Local("world.pak.vtpart"))) << c.what;
    }
    (void)sums;
}

// A CDN may serve the list from after an upload and the side file from
// before it: both are asked for again, past caches, before E1.
TEST_F(Partial, AListAndSideFileOutOfStepAreAskedForOnceMore) {
    const std::string old = Release(v1);
    Release(v2);  // the list is the same, so make the old side file name another list
    const std::string list2 = std::string(kList) + "extra.txt|extra.txt|immer\r\n";
    Serve("extra.txt", "extra");
    Serve("update.dat", list2);
    std::vector<std::string> problems;
    const std::string sums2 = vtlist::MakeSideFile(list2, root / "VTupdates", {}, nullptr, problems);
    ASSERT_TRUE(problems.empty());
    Serve("update.dat.vtsums", sums2);

    Fault stale;
    stale.kind = Fault::Kind::FailTimes;
    stale.status = 200;
    stale.body = old;  // the side file of the release before, once
    stale.count = 1;
    server.SetFault("/VTupdates/update.dat.vtsums", stale);
    ASSERT_EQ(RunOnce(), RunEnding::Done) << context.lastFailure;
    EXPECT_EQ(ReadFileBytes(Local("extra.txt")), "extra");
    EXPECT_EQ(server.RequestCount("/VTupdates/update.dat"), 2);
    EXPECT_EQ(server.RequestCount("/VTupdates/update.dat.vtsums"), 2);
    EXPECT_NE(LogText().find("both are asked for once more"), std::string::npos) << LogText();
    for (const auto& request : server.Requests()) {
        if (request.target != "/VTupdates/update.dat" && request.target != "/VTupdates/update.dat.vtsums") continue;
        EXPECT_EQ(request.cacheControl, "no-cache") << request.target;
    }

    // Out of step on both asks: E1, with nothing fetched.
    stale.count = server.RequestCount("/VTupdates/update.dat.vtsums") + 2;  // the server counts from its start
    server.ClearFaults();
    server.SetFault("/VTupdates/update.dat.vtsums", stale);
    ::DeleteFileW(win::PathW(Local("extra.txt")).c_str());
    EXPECT_EQ(RunOnce(), RunEnding::E1);
    EXPECT_FALSE(PathExists(Local("extra.txt")));
}

namespace {

// A release served by WEBPATH= (start page, list, side file and every file)
// and copied to three mirrors.
class Mirrors : public LauncherRun {
protected:
    static constexpr int kFiles = 30;
    Mirrors() : server(root.path()) {
        for (TempDir* folder : {&root, &mirrorRoot[0], &mirrorRoot[1], &mirrorRoot[2]}) MakeFolder(*folder / "VTupdates");
        Serve("start.htm", "<!-- Vortane Mod Launcher -->\r\n<html></html>");
        std::string list = "Vortane\r\n";
        for (int i = 0; i < kFiles; ++i) {
            const std::string name = "file" + std::to_string(i) + ".txt";
            Serve(name, "contents of " + name);
            list += name + "|" + name + "|immer\r\n";
        }
        Serve("news.txt", "news of today");  // changes between releases: no hash
        list += "news.txt|news.txt|immer\r\n";
        Serve("update.dat", list);
        vtlist::SideOptions options;
        options.unhashedGlobs = {"news.txt"};
        std::vector<std::string> problems;
        Serve("update.dat.vtsums", vtlist::MakeSideFile(list, root / "VTupdates", options, nullptr, problems));
        EXPECT_TRUE(problems.empty());
        for (int m = 0; m < 3; ++m) {
            for (int i = 0; i < kFiles; ++i) {
                const std::string name = "file" + std::to_string(i) + ".txt";
                WriteFileBytes(mirrorRoot[m] / ("VTupdates\\" + name), "contents of " + name);
            }
            WriteFileBytes(mirrorRoot[m] / "VTupdates\\news.txt", "a mirror's stale news");
            mirror[m] = std::make_unique<TestServer>(mirrorRoot[m].path());
        }
        settings = SettingsFor(install.path(), server.BaseUrl() + "/VTupdates/", "3");
        for (int m = 0; m < 3; ++m) settings.Mirrors += " " + mirror[m]->BaseUrl() + "/VTupdates/";
    }
    void Serve(const std::string& name, const std::string& bytes) {
        WriteFileBytes(root / ("VTupdates\\" + name), bytes);
    }
    int FilesFrom(const TestServer& from) const {
        int count = 0;
        for (const auto& request : from.Requests()) count += request.target.rfind("/VTupdates/file", 0) == 0;
        return count;
    }
    bool EveryFileRight() const {
        for (int i = 0; i < kFiles; ++i) {
            const std::string name = "file" + std::to_string(i) + ".txt";
            if (ReadFileBytes(settings.AppDir + name) != "contents of " + name) return false;
        }
        return ReadFileBytes(settings.AppDir + "news.txt") == "news of today";
    }

    TempDir root;
    TempDir mirrorRoot[3];
    TestServer server;
    std::unique_ptr<TestServer> mirror[3];
};

using StockServer = LauncherRun;

}  // namespace

// Hashed files are spread over the mirrors; the list, the side file and the
// file without a hash come from WEBPATH= only.
TEST_F(Mirrors, HashedFilesAreSpreadOverTheMirrorsAndUnhashedOnesComeFromWebpathOnly) {
    ASSERT_EQ(RunOnce(), RunEnding::Done) << context.lastFailure;
    EXPECT_TRUE(EveryFileRight());
    EXPECT_EQ(FilesFrom(server), 0);
    for (int m = 0; m < 3; ++m) {
        EXPECT_EQ(FilesFrom(*mirror[m]), kFiles / 3) << "mirror " << m;
        EXPECT_EQ(mirror[m]->RequestCount("/VTupdates/news.txt"), 0) << "mirror " << m;
        EXPECT_EQ(mirror[m]->RequestCount("/VTupdates/update.dat"), 0) << "mirror " << m;
    }
    EXPECT_EQ(server.RequestCount("/VTupdates/news.txt"), 1);
    EXPECT_NE(LogText().find("MIRROR files served: "), std::string::npos) << LogText();
}

// A mirror with a changed file is set aside at its first wrong body, and the
// file comes right from another; one that is down from the start too.
TEST_F(Mirrors, AMirrorThatServesWrongBytesOrIsDownIsSetAsideAndTheOthersServe) {
    for (int i = 0; i < kFiles; ++i)  // the same size, other bytes
        WriteFileBytes(mirrorRoot[1] / ("VTupdates\\file" + std::to_string(i) + ".txt"), "CONTENTS OF file" + std::to_string(i) + ".txt");
    std::uint16_t downPort;
    {
        TestServer gone(root.path());
        downPort = gone.Port();
    }
    settings.Mirrors += " http://127.0.0.1:" + std::to_string(downPort) + "/VTupdates/";
    ASSERT_EQ(RunOnce(), RunEnding::Done) << context.lastFailure;
    EXPECT_TRUE(EveryFileRight());
    // At most the three fetches going when it was set aside, each tried three times.
    EXPECT_LE(FilesFrom(*mirror[1]), 9);
    EXPECT_EQ(FilesFrom(*mirror[0]) + FilesFrom(*mirror[2]), kFiles);
    const std::string text = LogText();
    EXPECT_NE(text.find(mirror[1]->BaseUrl() + "/VTupdates/ set aside: the body's SHA-256 is not the side file's"),
              std::string::npos) << text;
    EXPECT_NE(text.find(std::to_string(downPort) + "/VTupdates/ 0 (set aside)"), std::string::npos) << text;

    // When every mirror fails, WEBPATH= serves.
    settings.Mirrors = " http://127.0.0.1:" + std::to_string(downPort) + "/VTupdates/";
    for (int i = 0; i < kFiles; ++i) WriteFileBytes(settings.AppDir + "file" + std::to_string(i) + ".txt", "old");
    ASSERT_EQ(RunOnce(), RunEnding::Done) << context.lastFailure;
    EXPECT_TRUE(EveryFileRight());
    EXPECT_EQ(FilesFrom(server), kFiles);
}

// Against a stock server: stock_partial_test.sh starts nginx or Apache on a
// folder and runs this with VT_STOCK_URL (its base URL) and VT_STOCK_ROOT
// (the folder). Each answers several ranges in its own multipart dialect.
TEST_F(StockServer, APartialUpdateFromAStockServerBuildsTheRightFile) {
    const char* url = std::getenv("VT_STOCK_URL");
    const char* served = std::getenv("VT_STOCK_ROOT");
    if (!url || !served) GTEST_SKIP() << "run by stock_partial_test.sh, with nginx or Apache";
    const std::string folder = std::string(served) + "\\VTupdates";
    MakeFolder(folder);
    MakeFolder(folder + "\\maps");
    WriteFileBytes(folder + "\\start.htm", "<!-- Vortane Mod Launcher -->\r\n<html></html>");
    WriteFileBytes(folder + "\\readme.txt", "read me");
    settings = SettingsFor(install.path(), std::string(url) + "/VTupdates/", "");

    const std::string v1 = RandomBytes(3 * 1024 * 1024 + 123, 1), v2 = NextRelease(v1);
    WriteRelease(folder, v1);
    ASSERT_EQ(RunOnce(), RunEnding::Done) << context.lastFailure;
    WriteRelease(folder, v2);
    ASSERT_EQ(RunOnce(), RunEnding::Done) << context.lastFailure;
    EXPECT_EQ(ReadFileBytes(Local("world.pak")), v2);
    const std::string text = LogText();
    EXPECT_NE(text.find("status=206"), std::string::npos) << text;
    EXPECT_NE(text.find("partial: reused="), std::string::npos) << text;
}
