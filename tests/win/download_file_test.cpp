// DownloadFile through WinINet against the fault-injecting test server on
// 127.0.0.1, under Wine.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <thread>
#include <utility>
#include <vector>

#include "launcher/win/fetch/leftover_sweep.h"
#include "launcher/win/fetch/part_file.h"
#include "launcher/win/fetch/sources.h"
#include "platform/win/text_codes.h"
#include "platform/win/crypto.h"
#include "support/quick_transfer.h"
#include "support/test_support.h"
#include "test_server.h"

using namespace vt;
using namespace vt::launcher;
using namespace vt::test;
using vt::testing::Fault;
using vt::testing::TestServer;

namespace {

// The file-system steps of a download, in order.
using DownloadSteps = std::vector<std::string>;

struct StepRecorder : PartFileObserver {
    explicit StepRecorder(DownloadSteps* into) : steps(into) {}
    void Step(const char* name) override {
        if (steps) steps->push_back(name);
    }
    DownloadSteps* steps;
};

// One file's road as a pool's fetch goes it: its sources into the partial
// file, then the target replaced. The cases read best with the fetch's parts
// as arguments: a request made of them, its outcome copied out, the steps
// recorded by an observer.
bool DownloadFile(InternetTransfer& transfer, const std::string& url, const std::string& file,
                  FetchOutcome* outcome = nullptr, std::uint64_t maxBytes = kNoBodyCap, DownloadSteps* steps = nullptr,
                  bool leftBehind = false, const SideEntry* expected = nullptr) {
    StepRecorder recorder(steps);
    const FetchRequest request{url, file, maxBytes, leftBehind, expected};
    PartFile part(request, &recorder);
    FetchOutcome fetched = FetchFromSources(transfer, part, request);
    if (fetched.ok && !part.ReplaceTarget()) {
        fetched.ok = false;
        fetched.error = part.LastError();
    }
    if (outcome) *outcome = fetched;
    return fetched.ok;
}

Fault Make(Fault::Kind kind, int status = 200, std::string body = {}) {
    Fault f;
    f.kind = kind;
    f.status = status;
    f.body = std::move(body);
    return f;
}

class Download : public ::testing::Test {
protected:
    Download() : server(root.path()), transfer(QuickTimeouts()) {
        MakeFolder(root / "VTupdates");
        MakeFolder(root / "VTupdates\\maps");
        WriteFileBytes(root / "VTupdates\\new.bin", "fresh content");
        WriteFileBytes(root / "VTupdates\\maps\\arena.ini", "[arena]");
    }
    std::string Url(const std::string& name) const { return server.BaseUrl() + "/VTupdates/" + name; }
    int PartFiles() const {
        WIN32_FIND_DATAA entry;
        HANDLE h = ::FindFirstFileA((target.path() + "*.vtpart").c_str(), &entry);
        if (h == INVALID_HANDLE_VALUE) return 0;
        int n = 0;
        do ++n;
        while (::FindNextFileA(h, &entry));
        ::FindClose(h);
        return n;
    }
    // An old, read-only, hidden target that a failed fetch must leave exactly as it is.
    std::string OldTarget() {
        const std::string path = target / "game.dat";
        WriteFileBytes(path, "old bytes that must survive");
        SetAttributes(path, FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN);
        return path;
    }
    void ExpectUntouched(const std::string& path) {
        EXPECT_EQ(ReadFileBytes(path), "old bytes that must survive");
        EXPECT_EQ(Attributes(path) & ~DWORD{FILE_ATTRIBUTE_ARCHIVE}, DWORD{FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN});
        EXPECT_EQ(PartFiles(), 0) << "a temporary file was left behind";
    }

    TempDir root;
    TempDir target;
    TestServer server;
    InternetTransfer transfer;
};

}  // namespace

TEST_F(Download, ReplacesAReadOnlyHiddenLongerTargetExactly) {
    const std::string path = OldTarget();
    ASSERT_TRUE(DownloadFile(transfer, Url("new.bin"), path));
    EXPECT_EQ(ReadFileBytes(path), "fresh content");
    EXPECT_EQ(Attributes(path) & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM), 0u);
    EXPECT_EQ(PartFiles(), 0);
}

TEST_F(Download, HttpErrorsAreFailedFetchesAndOnlyTransientOnesAreRetried) {
    const std::string path = OldTarget();
    server.SetFault("/VTupdates/new.bin", Make(Fault::Kind::Status, 500, "<html>oops</html>"));
    FetchOutcome outcome;
    EXPECT_FALSE(DownloadFile(transfer, Url("new.bin"), path, &outcome));
    EXPECT_EQ(outcome.status, 500u) << outcome.error;
    EXPECT_EQ(server.RequestCount("/VTupdates/new.bin"), 3);
    ExpectUntouched(path);

    EXPECT_FALSE(DownloadFile(transfer, Url("missing.bin"), path, &outcome));
    EXPECT_EQ(outcome.status, 404u);
    EXPECT_EQ(server.RequestCount("/VTupdates/missing.bin"), 1);
    ExpectUntouched(path);
}

TEST_F(Download, ShortBodiesAndResetsKeepTheOldFile) {
    const std::string path = OldTarget();
    Fault truncate = Make(Fault::Kind::Truncate);
    truncate.bytes = 2;  // 2 bytes an attempt: three attempts, each continuing the last, stay short of 13
    for (const Fault& fault : {truncate, Make(Fault::Kind::Reset)}) {
        server.SetFault("/VTupdates/new.bin", fault);
        FetchOutcome outcome;
        EXPECT_FALSE(DownloadFile(transfer, Url("new.bin"), path, &outcome)) << static_cast<int>(fault.kind) << " " << outcome.bytes;
        EXPECT_FALSE(outcome.error.empty());
        ExpectUntouched(path);
    }
}

TEST_F(Download, StalledServerFailsTheFetchInsteadOfHanging) {
    const std::string path = OldTarget();
    Fault stall = Make(Fault::Kind::Stall);
    stall.ms = 20000;  // far beyond the 1.5 s receive time-out
    server.SetFault("/VTupdates/new.bin", stall);
    FetchOutcome outcome;
    EXPECT_FALSE(DownloadFile(transfer, Url("new.bin"), path, &outcome));
    EXPECT_LT(outcome.elapsedMs, 15000u) << "the receive time-out was not applied";
    ExpectUntouched(path);
}

TEST_F(Download, TargetThatCannotBeReplacedStaysAndMissingFolderCreatesNothing) {
    const std::string path = OldTarget();
    {
        HANDLE holder = ::CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
        ASSERT_NE(holder, INVALID_HANDLE_VALUE);
        EXPECT_FALSE(DownloadFile(transfer, Url("new.bin"), path));
        ::CloseHandle(holder);
    }
    ExpectUntouched(path);

    EXPECT_FALSE(DownloadFile(transfer, Url("new.bin"), target / "nofolder\\x.bin"));
    EXPECT_FALSE(PathExists(target / "nofolder"));
}

TEST_F(Download, PassingFaultsAreRetried) {
    Fault flaky = Make(Fault::Kind::FailTimes, 503);
    flaky.count = 2;
    server.SetFault("/VTupdates/new.bin", flaky);
    FetchOutcome outcome;
    ASSERT_TRUE(DownloadFile(transfer, Url("new.bin"), target / "a.bin", &outcome));
    EXPECT_EQ(outcome.attempts, 3);
    EXPECT_EQ(ReadFileBytes(target / "a.bin"), "fresh content");
}

TEST_F(Download, BackslashesInThePathAreSentAsSlashes) {
    ASSERT_TRUE(DownloadFile(transfer, server.BaseUrl() + "/VTupdates/maps\\arena.ini", target / "arena.ini"));
    EXPECT_EQ(ReadFileBytes(target / "arena.ini"), "[arena]");
    EXPECT_EQ(server.RequestCount("/VTupdates/maps/arena.ini"), 1);
}

TEST_F(Download, CachedAnswersAreNeverUsed) {
    server.SetFault("/VTupdates/new.bin", Make(Fault::Kind::Changing));
    ASSERT_TRUE(DownloadFile(transfer, Url("new.bin"), target / "a.bin"));
    EXPECT_EQ(ReadFileBytes(target / "a.bin"), "fresh content1");
    ASSERT_TRUE(DownloadFile(transfer, Url("new.bin"), target / "a.bin"));
    EXPECT_EQ(ReadFileBytes(target / "a.bin"), "fresh content2");
    EXPECT_EQ(server.RequestCount("/VTupdates/new.bin"), 2);
}

TEST_F(Download, RedirectsAreFollowedAndConnectionsReused) {
    Fault redirect = Make(Fault::Kind::Redirect);
    redirect.location = Url("new.bin");
    server.SetFault("/VTupdates/old.bin", redirect);
    ASSERT_TRUE(DownloadFile(transfer, Url("old.bin"), target / "r.bin"));
    EXPECT_EQ(ReadFileBytes(target / "r.bin"), "fresh content");
    for (int i = 0; i < 5; ++i) ASSERT_TRUE(DownloadFile(transfer, Url("new.bin"), target / "k.bin"));
    EXPECT_LE(server.ConnectionCount(), 2) << "fetches did not reuse the connection";
}

// Answers that are no body, or whose length cannot be believed: the old file
// stays, nothing throws out of the transfer, and none of them is retried.
TEST_F(Download, NoBodyAndUnreadableLengthsFailWithoutThrowing) {
    const std::string path = OldTarget();
    const std::vector<std::pair<const char*, std::string>> answers = {
        {"204", "HTTP/1.1 204 No Content\r\n\r\n"},
        {"206", "HTTP/1.1 206 Partial Content\r\nContent-Length: 3\r\nContent-Range: bytes 0-2/9\r\n\r\nabc"},
        {"length abc", "HTTP/1.1 200 OK\r\nContent-Length: abc\r\n\r\nsome body"},
        {"length of 23 digits", "HTTP/1.1 200 OK\r\nContent-Length: 12345678901234567890123\r\n\r\nsome body"},
        {"longer than its length", "HTTP/1.1 200 OK\r\nContent-Length: 4\r\nConnection: close\r\n\r\nmuch longer body"},
    };
    for (const auto& [name, answer] : answers) {
        server.SetFault("/VTupdates/new.bin", Make(Fault::Kind::Raw, 200, answer));
        const int before = server.RequestCount("/VTupdates/new.bin");
        FetchOutcome outcome;
        EXPECT_FALSE(DownloadFile(transfer, Url("new.bin"), path, &outcome)) << name;
        EXPECT_FALSE(outcome.error.empty()) << name;
        EXPECT_EQ(server.RequestCount("/VTupdates/new.bin") - before, 1) << name << " was retried";
        ExpectUntouched(path);
    }
}

namespace {

// The rate floor shortened for tests: 64 bytes in every second.
TransferTimeouts FloorTimeouts(int attempts) {
    TransferTimeouts t = QuickTimeouts();
    t.speedLimitBytes = 64;
    t.speedTimeMs = 1000;
    t.attempts = attempts;
    return t;
}

// The body's first `fastBytes` at once, then a byte every `ms` milliseconds.
Fault DripAfter(std::size_t fastBytes, int ms) {
    Fault drip = Make(Fault::Kind::Drip);
    drip.bytes = fastBytes;
    drip.ms = ms;
    return drip;
}

}  // namespace

// A server that sends a byte now and then: the rate floor (shortened here)
// fails the fetch like a time-out, so the run reaches its ending.
TEST_F(Download, DrippingServerFailsOnTheRateFloor) {
    InternetTransfer slow(FloorTimeouts(1));
    WriteFileBytes(root / "VTupdates\\new.bin", std::string(200, 'x'));
    server.SetFault("/VTupdates/new.bin", DripAfter(0, 300));  // every byte well inside the 1.5 s receive time-out
    const std::string path = OldTarget();
    const ULONGLONG begin = ::GetTickCount64();
    FetchOutcome outcome;
    EXPECT_FALSE(DownloadFile(slow, Url("new.bin"), path, &outcome));
    EXPECT_LT(::GetTickCount64() - begin, 10000u) << "the drip held the fetch";
    EXPECT_NE(outcome.error.find("slower than"), std::string::npos) << outcome.error;
    ExpectUntouched(path);
}

// The same after a fast start: reads of 1 MiB (which Wine's WinINet returns
// only when full) are abandoned when they do not finish within the window.
TEST_F(Download, ServerThatStartsFastAndThenDripsFailsOnTheRateFloor) {
    InternetTransfer slow(FloorTimeouts(1));
    std::string body(4 * 1024 * 1024, 'x');
    for (std::size_t i = 0; i < body.size(); i += 4096) body[i] = static_cast<char>('a' + i / 4096 % 26);
    WriteFileBytes(root / "VTupdates\\new.bin", body);
    server.SetFault("/VTupdates/new.bin", DripAfter(3 * 1024 * 1024, 300));
    const std::string path = OldTarget();
    const ULONGLONG begin = ::GetTickCount64();
    FetchOutcome outcome;
    EXPECT_FALSE(DownloadFile(slow, Url("new.bin"), path, &outcome));
    EXPECT_LT(::GetTickCount64() - begin, 10000u) << "the drip held the fetch";
    EXPECT_NE(outcome.error.find("a read did not finish"), std::string::npos) << outcome.error;
    ExpectUntouched(path);

    // A healthy server afterwards: the session works, and a large body comes whole.
    server.ClearFaults();
    EXPECT_TRUE(DownloadFile(slow, Url("new.bin"), target / "whole.bin", &outcome)) << outcome.error;
    EXPECT_EQ(ReadFileBytes(target / "whole.bin"), body);
}

// A link slower than a whole read per window but above the floor: the read of
// the first attempt is abandoned, the next attempt reads only what has
// arrived and gets the file.
TEST_F(Download, SlowButSteadyLinkGetsItsFileOnTheNextAttempt) {
    InternetTransfer slow(FloorTimeouts(3));
    std::string body(20 * 1024, 'x');
    for (std::size_t i = 0; i < body.size(); ++i) body[i] = static_cast<char>('a' + i % 26);
    WriteFileBytes(root / "VTupdates\\new.bin", body);
    server.SetFault("/VTupdates/new.bin", DripAfter(body.size() - 400, 10));  // about 100 bytes a second: above the floor
    FetchOutcome outcome;
    EXPECT_TRUE(DownloadFile(slow, Url("new.bin"), target / "slow.bin", &outcome)) << outcome.error;
    EXPECT_EQ(outcome.attempts, 2);
    EXPECT_EQ(ReadFileBytes(target / "slow.bin"), body);
}

TEST_F(Download, BodyOverTheCallersCapFails) {
    WriteFileBytes(root / "VTupdates\\new.bin", std::string(5000, 'x'));
    const std::string path = OldTarget();
    FetchOutcome outcome;
    EXPECT_FALSE(DownloadFile(transfer, Url("new.bin"), path, &outcome, 4096));
    EXPECT_NE(outcome.error.find("cap"), std::string::npos) << outcome.error;
    ExpectUntouched(path);
    EXPECT_TRUE(DownloadFile(transfer, Url("new.bin"), path, &outcome, 5000));
}

// The temporary file reaches the disk before it takes the target's name, so a
// power loss cannot leave a target with its new name and time but missing data.
TEST_F(Download, TemporaryFileIsFlushedBeforeItReplacesTheTarget) {
    DownloadSteps steps;
    EXPECT_TRUE(DownloadFile(transfer, Url("new.bin"), target / "new.bin", nullptr, kNoBodyCap, &steps));
    EXPECT_EQ(steps, (DownloadSteps{"flush", "replace"}));
    EXPECT_EQ(ReadFileBytes(target / "new.bin"), "fresh content");
}

// A body is checked by the digest of the bytes written into the partial
// file, for each attempt begun afresh in it (a partial update, then the
// whole fetch that follows its doubt): wrong bytes of the right size are
// refused, the right ones taken, and the progress is the bytes written.
TEST_F(Download, EveryBodyIsCheckedByTheDigestOfWhatWasWritten) {
    const std::string right = "the released bytes", wrong = "the damaged bytes!";
    ASSERT_EQ(right.size(), wrong.size());
    const SideEntry released{right.size(), win::Sha256Of(right.data(), right.size()), true, std::nullopt};
    PartFile part(FetchRequest{Url("new.bin"), target / "game.dat", kNoBodyCap, false, &released});
    FetchProgress progress;
    part.ReportTo(&progress);
    std::string why;
    auto write = [&](const std::string& bytes) { return part.Write(bytes.data(), bytes.size()); };

    ASSERT_TRUE(part.Begin(0) && write(wrong));
    EXPECT_FALSE(part.Complete(why));
    EXPECT_NE(why.find("SHA-256"), std::string::npos) << why;
    ASSERT_TRUE(part.Begin(0) && write(right));
    EXPECT_EQ(progress.Snapshot().received, right.size());
    EXPECT_TRUE(part.Complete(why)) << why;
    ASSERT_TRUE(part.Begin(0) && write(right.substr(0, 5)) && write(wrong.substr(5)));
    EXPECT_FALSE(part.Complete(why)) << "a body begun afresh is hashed afresh";
}

// A partial file another fetch holds (a second launcher in the same folder)
// is not ours: its record is not deleted before the partial file is held,
// nor when the attempt gives up.
TEST_F(Download, APartialFileHeldElsewhereKeepsItsRecord) {
    WriteFileBytes(target / "game.dat.vtpart", std::string(2000, 'p'));
    WriteFileBytes(target / "game.dat.vtresume", "a record");
    {
        const win::UniqueFileHandle other(::CreateFileW(win::PathW(target / "game.dat.vtpart").c_str(),
                                                        GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                                        FILE_ATTRIBUTE_NORMAL, nullptr));
        ASSERT_TRUE(other);
        FetchRequest request{Url("new.bin"), target / "game.dat"};
        request.leftBehind = true;
        {
            PartFile part(request);
            EXPECT_FALSE(part.Begin(0));
            EXPECT_EQ(ReadFileBytes(target / "game.dat.vtresume"), "a record") << "deleted before the part was held";
        }
        EXPECT_EQ(ReadFileBytes(target / "game.dat.vtresume"), "a record") << "deleted when the attempt gave up";
    }
    EXPECT_EQ(ReadFileBytes(target / "game.dat.vtpart"), std::string(2000, 'p'));
}

// What a stopped run left beside a file has a name the next run knows.
TEST_F(Download, LeftoverPartIsRecognisedAndRemoved) {
    WriteFileBytes(target / "game.dat.vtpart", std::string(1000, 'p'));
    WriteFileBytes(target / "other.bin.vtpart", "p");
    WriteFileBytes(target / "keep.txt", "not a leftover");
    EXPECT_EQ(RemoveLeftoverParts(target.path()).removed, 2);
    EXPECT_EQ(PartFiles(), 0);
    EXPECT_EQ(ReadFileBytes(target / "keep.txt"), "not a leftover");
    EXPECT_EQ(RemoveLeftoverParts(target.path()).removed, 0);
}

// Continuing a body: the server sends a validator and takes ranges.
class Resume : public Download {
protected:
    Resume() {
        big = std::string(300000, '\0');
        for (std::size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>('a' + (i * 7 + i / 1000) % 26);
        WriteFileBytes(root / "VTupdates\\big.bin", big);
    }
    std::string ServerFile() const { return root / "VTupdates\\big.bin"; }
    // What a stopped run leaves: the first `bytes` of the body (or `kept`
    // instead) and the record that vouches for them.
    void LeaveBehind(std::size_t bytes, const std::string& validator, std::string kept = {}) {
        if (kept.empty()) kept = big.substr(0, bytes);
        WriteFileBytes(target / "big.bin.vtpart", kept);
        WriteFileBytes(target / "big.bin.vtresume",
                       FormatResumeRecord({UrlForRequest(Url("big.bin")), validator, big.size(), kept.size(),
                                           ContentSumOf(kept.data(), kept.size())}));
    }
    std::vector<vt::testing::LoggedRequest> BigRequests() const {
        std::vector<vt::testing::LoggedRequest> found;
        for (const auto& r : server.Requests())
            if (r.target == "/VTupdates/big.bin") found.push_back(r);
        return found;
    }
    std::string big;
};

// A body cut part-way continues from where it stopped: the second request
// asks for the rest with the validator, and the server sends only the rest.
TEST_F(Resume, CutBodyContinuesWithARangeRequest) {
    Fault cut = Make(Fault::Kind::Truncate);
    cut.bytes = 100000;
    cut.count = 1;
    server.SetFault("/VTupdates/big.bin", cut);
    const std::uint64_t before = server.BytesSent();
    FetchOutcome outcome;
    ASSERT_TRUE(DownloadFile(transfer, Url("big.bin"), target / "big.bin", &outcome)) << outcome.error;
    EXPECT_EQ(ReadFileBytes(target / "big.bin"), big);
    const auto requests = BigRequests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[0].range, "");
    EXPECT_EQ(requests[1].range, "bytes=100000-");
    EXPECT_EQ(requests[1].ifRange, TestServer::ETagOf(ServerFile()));
    EXPECT_EQ(requests[1].status, 206);
    EXPECT_EQ(outcome.resumedFrom, 100000u);
    EXPECT_LT(server.BytesSent() - before, big.size() + 2000) << "the first part was sent again";
    EXPECT_EQ(PartFiles(), 0);
    EXPECT_FALSE(PathExists(target / "big.bin.vtresume"));
}

// The file changed on the server between the cut and the next attempt: the
// validator no longer holds, and the new file comes whole, never spliced.
TEST_F(Resume, FileChangedBetweenTheAttemptsIsFetchedWhole) {
    const std::string oldTag = TestServer::ETagOf(ServerFile());
    std::string changed = big;
    std::reverse(changed.begin(), changed.end());
    changed += "and longer";
    Fault cut = Make(Fault::Kind::Truncate, 200, changed);
    cut.bytes = 100000;
    cut.count = 1;
    server.SetFault("/VTupdates/big.bin", cut);
    FetchOutcome outcome;
    ASSERT_TRUE(DownloadFile(transfer, Url("big.bin"), target / "big.bin", &outcome)) << outcome.error;
    EXPECT_EQ(ReadFileBytes(target / "big.bin"), changed);
    const auto requests = BigRequests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[1].range, "bytes=100000-");
    EXPECT_EQ(requests[1].ifRange, oldTag);
    EXPECT_EQ(requests[1].status, 200) << "the old validator must not get the rest of the new file";
}

// A server that knows no ranges answers a range request with the whole: it is
// written from the start, never appended.
TEST_F(Resume, ServerThatIgnoresRangesGivesTheWholeAgain) {
    LeaveBehind(50000, TestServer::ETagOf(ServerFile()));
    server.SetFault("/VTupdates/big.bin", Make(Fault::Kind::NoRanges));
    FetchOutcome outcome;
    ASSERT_TRUE(DownloadFile(transfer, Url("big.bin"), target / "big.bin", &outcome, kNoBodyCap, nullptr, true)) << outcome.error;
    EXPECT_EQ(ReadFileBytes(target / "big.bin"), big);
    const auto requests = BigRequests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].range, "bytes=50000-");
    EXPECT_EQ(requests[0].status, 200);
}

// What a stopped run left is continued by the next fetch while the validator
// holds; after the file changed on the server, the whole new file comes.
TEST_F(Resume, LeftoverOfAStoppedRunContinuesOnlyWhileTheValidatorHolds) {
    LeaveBehind(120000, TestServer::ETagOf(ServerFile()));
    EXPECT_EQ(RemoveLeftoverParts(target.path()).kept, 1);  // the sweep leaves it for the fetch
    const std::uint64_t before = server.BytesSent();
    ASSERT_TRUE(DownloadFile(transfer, Url("big.bin"), target / "big.bin", nullptr, kNoBodyCap, nullptr, true));
    EXPECT_EQ(ReadFileBytes(target / "big.bin"), big);
    EXPECT_LT(server.BytesSent() - before, big.size() - 120000 + 2000);
    EXPECT_EQ(BigRequests().back().status, 206);

    LeaveBehind(120000, "\"an-older-release\"");  // the file changed since
    ASSERT_TRUE(DownloadFile(transfer, Url("big.bin"), target / "big.bin", nullptr, kNoBodyCap, nullptr, true));
    EXPECT_EQ(ReadFileBytes(target / "big.bin"), big);
    EXPECT_EQ(BigRequests().back().status, 200);
    EXPECT_EQ(BigRequests().back().ifRange, "\"an-older-release\"");
    EXPECT_EQ(PartFiles(), 0);
}

// With the side file's size and SHA-256, a continued body is checked whole:
// kept bytes that were damaged on the disk make the fetch start over.
TEST_F(Resume, AContinuedBodyIsCheckedWholeAgainstTheSideFile) {
    const SideEntry released{big.size(), win::Sha256Of(big.data(), big.size()), true, std::nullopt};
    LeaveBehind(120000, TestServer::ETagOf(ServerFile()));
    FetchOutcome outcome;
    ASSERT_TRUE(DownloadFile(transfer, Url("big.bin"), target / "big.bin", &outcome, kNoBodyCap, nullptr, true, &released))
        << outcome.error;
    EXPECT_EQ(ReadFileBytes(target / "big.bin"), big);
    EXPECT_EQ(BigRequests().back().status, 206);

    // Bytes that were wrong before their record was written (damaged on the
    // way): the record vouches for them, the side file does not.
    std::string damaged = big.substr(0, 120000);
    damaged[1000] ^= 0x20;
    LeaveBehind(120000, TestServer::ETagOf(ServerFile()), damaged);
    ASSERT_TRUE(DownloadFile(transfer, Url("big.bin"), target / "big.bin", &outcome, kNoBodyCap, nullptr, true, &released))
        << outcome.error;
    EXPECT_EQ(ReadFileBytes(target / "big.bin"), big);
    const auto requests = BigRequests();
    ASSERT_GE(requests.size(), 3u);
    EXPECT_EQ(requests[requests.size() - 2].status, 206);  // continued, then found wrong as a whole ...
    EXPECT_EQ(requests.back().range, "");                   // ... and fetched again from the start
    EXPECT_EQ(outcome.attempts, 2);
}

// A 206 that is not the rest asked for is never appended.
TEST_F(Resume, RangeAnswerThatDoesNotFitIsThrownAway) {
    LeaveBehind(100000, TestServer::ETagOf(ServerFile()));
    server.SetFault("/VTupdates/big.bin", Make(Fault::Kind::BadRange));
    FetchOutcome outcome;
    ASSERT_TRUE(DownloadFile(transfer, Url("big.bin"), target / "big.bin", &outcome, kNoBodyCap, nullptr, true)) << outcome.error;
    EXPECT_EQ(ReadFileBytes(target / "big.bin"), big);
    const auto requests = BigRequests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[0].status, 206);
    EXPECT_EQ(requests[1].range, "") << "the whole is asked for after a range that does not fit";
}

// A leftover whose record is damaged, or names another URL, is not continued.
TEST_F(Resume, LeftoverWithoutAUsableRecordIsRemoved) {
    WriteFileBytes(target / "big.bin.vtpart", std::string(1000, 'x'));
    WriteFileBytes(target / "big.bin.vtresume", "VTRESUME 1\r\nhttp://elsewhere/\r\n");
    WriteFileBytes(target / "orphan.vtresume", FormatResumeRecord({"http://x/", "\"e\"", 10, 5, {}}));
    const LeftoverSweep sweep = RemoveLeftoverParts(target.path());
    EXPECT_EQ(sweep.removed, 1);
    EXPECT_EQ(sweep.kept, 0);
    EXPECT_EQ(PartFiles(), 0);
    EXPECT_FALSE(PathExists(target / "big.bin.vtresume"));
    EXPECT_FALSE(PathExists(target / "orphan.vtresume"));

    LeaveBehind(1000, TestServer::ETagOf(ServerFile()));
    PartFile other(FetchRequest{Url("other.bin"), target / "big.bin", kNoBodyCap, true});
    EXPECT_FALSE(other.LeftBehind()) << "a record for another URL";
}

// A server that ignores If-Range (or a proxy in front of it) answers the
// range of a newer file with its new ETag: that tail is never appended to the
// old head; the new file comes whole.
TEST_F(Resume, RangeOfAnotherVersionIsNeverSpliced) {
    LeaveBehind(120000, TestServer::ETagOf(ServerFile()));
    const std::string oldTag = TestServer::ETagOf(ServerFile());
    // The same size, another time: only the validator tells the versions apart.
    std::string changed = big;
    std::reverse(changed.begin(), changed.end());
    WriteFileBytes(ServerFile(), changed);
    SetLocalWriteTime(ServerFile(), 2021, 3, 4, 5, 6, 7);
    ASSERT_NE(TestServer::ETagOf(ServerFile()), oldTag);
    server.SetFault("/VTupdates/big.bin", Make(Fault::Kind::IgnoreIfRange));
    FetchOutcome outcome;
    ASSERT_TRUE(DownloadFile(transfer, Url("big.bin"), target / "big.bin", &outcome, kNoBodyCap, nullptr, true))
        << outcome.error;
    EXPECT_TRUE(ReadFileBytes(target / "big.bin") == changed) << "two versions spliced into one file";
    const auto requests = BigRequests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[0].status, 206);
    EXPECT_EQ(requests[1].range, "") << "the whole is asked for after a range of another version";
}

// Bytes a power cut (or anything else) added to a partial file after its
// record are cut off; bytes changed inside what the record vouches for make
// the body start over. Neither ends up in the file.
TEST_F(Resume, APartialFileIsTrustedOnlyAsFarAsItsRecordVouches) {
    LeaveBehind(120000, TestServer::ETagOf(ServerFile()));
    WriteFileBytes(target / "big.bin.vtpart", big.substr(0, 120000) + std::string(30000, 'Z'));
    FetchOutcome outcome;
    ASSERT_TRUE(DownloadFile(transfer, Url("big.bin"), target / "big.bin", &outcome, kNoBodyCap, nullptr, true))
        << outcome.error;
    EXPECT_EQ(ReadFileBytes(target / "big.bin"), big);
    EXPECT_EQ(BigRequests().back().range, "bytes=120000-") << "continued from what the record vouches for";

    LeaveBehind(120000, TestServer::ETagOf(ServerFile()));
    std::string zeroed = big.substr(0, 120000);
    std::fill(zeroed.begin() + 40960, zeroed.begin() + 45056, '\0');
    WriteFileBytes(target / "big.bin.vtpart", zeroed);
    EXPECT_EQ(RemoveLeftoverParts(target.path()).kept, 1);
    ASSERT_TRUE(DownloadFile(transfer, Url("big.bin"), target / "big.bin", &outcome, kNoBodyCap, nullptr, true))
        << outcome.error;
    EXPECT_TRUE(ReadFileBytes(target / "big.bin") == big) << "the hole was installed";
    EXPECT_EQ(BigRequests().back().range, "") << "zeroed bytes must make the body start over";
    EXPECT_EQ(PartFiles(), 0);
}

// While a resumable body arrives, its record is brought up to date: it
// vouches for bytes that were flushed before it was written, with their
// digest, so a killed run leaves what the next one can check. (That a killed
// launcher's parts are continued is shown by the program test of Quit.)
TEST_F(Resume, TheRecordVouchesForFlushedBytesWithTheirDigest) {
    std::string large(3 * 1024 * 1024 + 5000, '\0');
    for (std::size_t i = 0; i < large.size(); ++i) large[i] = static_cast<char>((i * 131 + i / 4096) & 0xff);
    WriteFileBytes(root / "VTupdates\\large.bin", large);
    Fault drip = Make(Fault::Kind::Drip);
    drip.bytes = 1500000;
    drip.ms = 200;
    server.SetFault("/VTupdates/large.bin", drip);
    std::atomic<bool> stop{false};
    PartFile part(FetchRequest{Url("large.bin"), target / "large.bin"});
    part.StopWhen(&stop);
    TransferTimeouts quick = QuickTimeouts();
    quick.speedTimeMs = 3000;  // the drip is given up soon after the stop
    InternetTransfer dripping(quick);
    dripping.StopWhen(&stop);
    std::thread fetch([&] { dripping.Fetch(Url("large.bin"), part); });
    std::optional<ResumeRecord> record;
    for (int i = 0; i < 100 && !record; ++i) {
        ::Sleep(50);
        record = ParseResumeRecord(ReadFileBytes(target / "large.bin.vtresume"));
    }
    stop = true;
    fetch.join();
    ASSERT_TRUE(record) << "no record for a resumable body";
    EXPECT_GE(record->kept, 1024u * 1024u);
    EXPECT_LT(record->kept, large.size());
    EXPECT_EQ(record->total, large.size());
    EXPECT_EQ(record->validator, TestServer::ETagOf(root / "VTupdates\\large.bin"));
    EXPECT_TRUE(record->keptSum == ContentSumOf(large.data(), record->kept)) << "the checksum is not of the kept bytes";
}

// A redirect to itself (or any loop) fails the fetch after a bounded number
// of hops, at once, and leaves no partial file.
TEST_F(Download, RedirectLoopFailsAtOnceAndLeavesNothing) {
    const std::string path = OldTarget();
    Fault loop = Make(Fault::Kind::Redirect);
    loop.location = Url("new.bin");
    server.SetFault("/VTupdates/new.bin", loop);
    FetchOutcome outcome;
    const ULONGLONG begin = ::GetTickCount64();
    EXPECT_FALSE(DownloadFile(transfer, Url("new.bin"), path, &outcome));
    EXPECT_LT(::GetTickCount64() - begin, 10000u);
    EXPECT_NE(outcome.error.find("redirects"), std::string::npos) << outcome.error;
    EXPECT_EQ(server.RequestCount("/VTupdates/new.bin"), kMaxRedirects + 1);
    ExpectUntouched(path);

    Fault relative = Make(Fault::Kind::Redirect);
    relative.location = "maps/arena.ini";  // relative to the folder of the URL asked for
    server.SetFault("/VTupdates/new.bin", relative);
    ASSERT_TRUE(DownloadFile(transfer, Url("new.bin"), target / "arena.ini", &outcome)) << outcome.error;
    EXPECT_EQ(ReadFileBytes(target / "arena.ini"), "[arena]");
}

// A server (or load balancer) that closes a kept-alive connection just as a
// request goes out: no answer at all. That is retried, like a reset.
TEST_F(Download, AConnectionClosedWithoutAnAnswerIsRetried) {
    const std::string path = OldTarget();
    Fault close = Make(Fault::Kind::Close);
    close.count = 1;
    server.SetFault("/VTupdates/new.bin", close);
    FetchOutcome outcome;
    ASSERT_TRUE(DownloadFile(transfer, Url("new.bin"), path, &outcome)) << outcome.error;
    EXPECT_EQ(ReadFileBytes(path), "fresh content");
    EXPECT_EQ(outcome.attempts, 2);
}

// A body announced longer than the disk has room for is refused before a byte
// is written, saying so, and not tried again. (A body that fits is taken
// whatever the disk's size: only a body without a length keeps the reserve.)
TEST_F(Download, ABodyWithoutRoomIsRefusedAtOnceAndSaysWhy) {
    const std::string path = OldTarget();
    Fault huge = Make(Fault::Kind::Raw, 200, "HTTP/1.1 200 OK\r\nContent-Length: 999999999999999\r\n\r\nabc");
    server.SetFault("/VTupdates/new.bin", huge);
    FetchOutcome outcome;
    EXPECT_FALSE(DownloadFile(transfer, Url("new.bin"), path, &outcome));
    EXPECT_NE(outcome.error.find("not enough free space"), std::string::npos) << outcome.error;
    EXPECT_EQ(server.RequestCount("/VTupdates/new.bin"), 1);
    ExpectUntouched(path);
}

// On a small volume of its own (tests/win/small_disk.sh mounts one): what a
// nearly full disk does to a fetch.
class SmallDisk : public Download {
protected:
    void SetUp() override {
        if (vt::test::SmallDisk().empty()) GTEST_SKIP() << "runs in tests/win/small_disk.sh, on its volume";
    }
};

// A body that fits is taken, though less than the 64 MiB reserve is free:
// only a body without a length keeps the reserve.
TEST_F(SmallDisk, ABodyThatFitsIsTakenOnANearlyFullDisk) {
    TempDir disk(vt::test::SmallDisk());
    const std::string pack(17 * 1024 * 1024, 'p');
    WriteFileBytes(root / "VTupdates\\pack.bin", pack);
    ASSERT_LT(FreeBytes(disk.path()), kFreeSpaceReserve);
    ASSERT_GT(FreeBytes(disk.path()), pack.size() + kFreeSpaceMargin);
    FetchOutcome outcome;
    ASSERT_TRUE(DownloadFile(transfer, Url("pack.bin"), disk / "pack.bin", &outcome)) << outcome.error;
    EXPECT_TRUE(ReadFileBytes(disk / "pack.bin") == pack);
}

// A body without a length that fills the disk fails, and the error says the
// disk is full (not "Success"); nothing is left behind.
TEST_F(SmallDisk, AFullDiskIsNamedAsSuch) {
    TempDir disk(vt::test::SmallDisk());
    const std::uint64_t free = FreeBytes(disk.path());
    ASSERT_GT(free, 8u * 1024 * 1024);
    WriteFileBytes(disk / "filler.bin", std::string(free - 6 * 1024 * 1024, 'f'));
    WriteFileBytes(root / "VTupdates\\pack.bin", std::string(10 * 1024 * 1024, 'p'));
    server.SetFault("/VTupdates/pack.bin", Make(Fault::Kind::NoLength));
    WriteFileBytes(disk / "pack.bin", "the old pack");
    FetchOutcome outcome;
    EXPECT_FALSE(DownloadFile(transfer, Url("pack.bin"), disk / "pack.bin", &outcome));
    EXPECT_NE(outcome.error.find("(error 112)"), std::string::npos) << outcome.error;
    EXPECT_EQ(outcome.error.find("Success"), std::string::npos) << outcome.error;
    EXPECT_EQ(ReadFileBytes(disk / "pack.bin"), "the old pack");
    EXPECT_FALSE(PathExists(disk / "pack.bin.vtpart"));
}

// 503 with Retry-After: the fetch waits as asked, and says so.
TEST_F(Download, RetryAfterIsHonoured) {
    Fault busy = Make(Fault::Kind::FailTimes, 503, "busy");
    busy.count = 1;
    busy.headers = "Retry-After: 1\r\n";
    server.SetFault("/VTupdates/new.bin", busy);
    FetchOutcome outcome;
    ASSERT_TRUE(DownloadFile(transfer, Url("new.bin"), target / "new.bin", &outcome)) << outcome.error;
    EXPECT_TRUE(outcome.throttled);
    EXPECT_GE(outcome.waitedMs, 1000u);
    const auto requests = server.Requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_GE(requests[1].ms - requests[0].ms, 900u) << "asked again before the server's time";

    busy.headers = "Retry-After: 86400\r\n";  // a day: bounded by the transfer's longest wait
    busy.count = 100;
    server.SetFault("/VTupdates/new.bin", busy);
    TransferTimeouts quick = QuickTimeouts();
    quick.maxRetryAfterMs = 200;
    InternetTransfer bounded(quick);
    EXPECT_FALSE(DownloadFile(bounded, Url("new.bin"), target / "new.bin", &outcome));
    EXPECT_EQ(outcome.waitedMs, 400u);
}

// https through WinINet against the test authority's servers on localhost.
class Https : public Download {
protected:
    Https() {
        trusted = TlsPort("trusted");
        untrusted = TlsPort("untrusted");
        folder = "dl-" + std::to_string(::GetCurrentProcessId());
        MakeFolder(TlsDir() + "www\\" + folder);
        WriteFileBytes(TlsDir() + "www\\" + folder + "\\secure.bin", "secure content");
    }
    ~Https() override { RemoveTree(TlsDir() + "www\\" + folder); }
    std::string HttpsUrl(int port, const std::string& path) const {
        return "https://localhost:" + std::to_string(port) + "/" + path;
    }
    int trusted = 0, untrusted = 0;
    std::string folder;
};

TEST_F(Https, TrustedAuthorityIsFetched) {
    ASSERT_NE(trusted, 0) << "no https fixture";
    FetchOutcome outcome;
    EXPECT_TRUE(DownloadFile(transfer, HttpsUrl(trusted, folder + "/secure.bin"), target / "secure.bin", &outcome))
        << outcome.error;
    EXPECT_EQ(ReadFileBytes(target / "secure.bin"), "secure content");
}

TEST_F(Https, UntrustedCertificateFailsAndWritesNothing) {
    ASSERT_NE(untrusted, 0) << "no https fixture";
    const std::string path = OldTarget();
    FetchOutcome outcome;
    EXPECT_FALSE(DownloadFile(transfer, HttpsUrl(untrusted, folder + "/secure.bin"), path, &outcome));
    EXPECT_NE(outcome.error.find("WinINet error 120"), std::string::npos) << outcome.error;  // a certificate error
    ExpectUntouched(path);
}

TEST_F(Https, RedirectFromHttpToHttpsIsFollowed) {
    ASSERT_NE(trusted, 0) << "no https fixture";
    Fault redirect = Make(Fault::Kind::Redirect);
    redirect.location = HttpsUrl(trusted, folder + "/secure.bin");
    server.SetFault("/VTupdates/new.bin", redirect);
    FetchOutcome outcome;
    EXPECT_TRUE(DownloadFile(transfer, Url("new.bin"), target / "new.bin", &outcome)) << outcome.error;
    EXPECT_EQ(ReadFileBytes(target / "new.bin"), "secure content");
}

TEST_F(Https, RedirectFromHttpsToHttpIsNeverTaken) {
    ASSERT_NE(trusted, 0) << "no https fixture";
    const std::string path = OldTarget();
    FetchOutcome outcome;
    EXPECT_FALSE(DownloadFile(transfer, HttpsUrl(trusted, "redirect?to=" + Url("new.bin")), path, &outcome));
    ExpectUntouched(path);
    EXPECT_EQ(outcome.bytes, 0u);
}
