// The questions a run asks of the disk, on Wine's file system. The Wine tests run with
// TZ=Europe/Berlin, a zone with summer time, so local conversions are not UTC.
#include <gtest/gtest.h>

#include "launcher/rules/patch_entry.h"
#include "launcher/win/run/local_files.h"
#include "platform/win/files.h"
#include "platform/win/text_codes.h"
#include "support/test_support.h"

using namespace vt;
using namespace vt::launcher;
using namespace vt::test;

TEST(FileHelpers, TheTestsRunInAZoneWithSummerTime) {
    TIME_ZONE_INFORMATION zone{};
    ::GetTimeZoneInformation(&zone);
    EXPECT_NE(zone.DaylightDate.wMonth, 0) << "set TZ to a zone with summer time for these tests";
    EXPECT_NE(zone.Bias, 0);
}

TEST(FileHelpers, TheLookAtAMissingReadOnlyAndFolderName) {
    TempDir dir;
    EXPECT_EQ(LookAtLocalFile(dir / "missing").state, LocalFileLook::State::Missing);

    WriteFileBytes(dir / "ro.txt", "xy");
    SetAttributes(dir / "ro.txt", FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN);
    const LocalFileLook look = LookAtLocalFile(dir / "ro.txt");
    EXPECT_EQ(look.state, LocalFileLook::State::Present);
    EXPECT_EQ(Attributes(dir / "ro.txt") & FILE_ATTRIBUTE_READONLY, 0u);
    EXPECT_NE(Attributes(dir / "ro.txt") & FILE_ATTRIBUTE_HIDDEN, 0u);
    EXPECT_GT(look.lastWritten, 40000.0);  // written after 2009
    EXPECT_EQ(look.facts.size, 2u);
    const std::optional<win::FileFacts> facts = win::ReadFileFacts(dir / "ro.txt");
    ASSERT_TRUE(facts);
    EXPECT_EQ(facts->written, look.facts.written) << "the look and the one read of facts agree";

    MakeFolder(dir / "sub");
    EXPECT_EQ(LookAtLocalFile(dir / "sub").state, LocalFileLook::State::Missing) << "a folder is no file";
    EXPECT_FALSE(win::ReadFileFacts(dir / "sub"));
}

TEST(FileHelpers, LastWrittenIsLocalTimeWithMillisecondsDropped) {
    TempDir dir;
    WriteFileBytes(dir / "f", "x");
    for (int month : {1, 7}) {  // winter and summer time
        SetLocalWriteTime(dir / "f", 2008, month, 28, 14, 30, 45, 900);
        const LocalFileLook look = LookAtLocalFile(dir / "f");
        ASSERT_EQ(look.state, LocalFileLook::State::Present);
        EXPECT_DOUBLE_EQ(look.lastWritten, MakeDateValue(2008, month, 28, 14, 30, 45).value()) << month;
    }
}

TEST(FileHelpers, DateRuleAtTheSecond) {
    TempDir dir;
    WriteFileBytes(dir / "f", "x");
    DateValue stamp = 0;
    ASSERT_TRUE(ParseListDate("2008-07-28 14:30:59", stamp));
    SetLocalWriteTime(dir / "f", 2008, 7, 28, 14, 30, 0);
    EXPECT_FALSE(LookAtLocalFile(dir / "f").lastWritten < stamp) << "a file written at the stamp's minute is up to date";
    SetLocalWriteTime(dir / "f", 2008, 7, 28, 14, 29, 59);
    EXPECT_TRUE(LookAtLocalFile(dir / "f").lastWritten < stamp) << "a file written a second before the stamp is older";
}

TEST(FileHelpers, ClearReadOnlyTouchesOnlyThatBit) {
    TempDir dir;
    EXPECT_NO_THROW(ClearReadOnly(dir / "missing"));
    WriteFileBytes(dir / "f", "x");
    SetAttributes(dir / "f", FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN);
    ClearReadOnly(dir / "f");
    EXPECT_EQ(Attributes(dir / "f") & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN), DWORD{FILE_ATTRIBUTE_HIDDEN});
}

TEST(FileHelpers, CreateFolderPathWithDriveDoubledAndTrailingBackslashes) {
    TempDir dir;
    CreateFolderPath(dir / "Games\\VT\\maps\\");
    EXPECT_TRUE(Attributes(dir / "Games\\VT\\maps") & FILE_ATTRIBUTE_DIRECTORY);
    WriteFileBytes(dir / "Games\\VT\\maps\\keep", "k");
    CreateFolderPath(dir / "Games\\VT\\maps\\");  // a second call changes nothing
    EXPECT_EQ(ReadFileBytes(dir / "Games\\VT\\maps\\keep"), "k");
    CreateFolderPath(dir / "Other\\\\VT\\");
    EXPECT_TRUE(Attributes(dir / "Other\\VT") & FILE_ATTRIBUTE_DIRECTORY);
    CreateFolderPath(dir / "file\\under");  // a component that is a file: ignored
    WriteFileBytes(dir / "plain", "p");
    CreateFolderPath(dir / "plain\\sub\\");
    EXPECT_FALSE(PathExists(dir / "plain\\sub"));
}

// Made from the first folder that exists down, once a run: a folder that is
// there is asked for once, and one made through "..\\" lands where the
// system resolves it.
TEST(FileHelpers, RunFoldersMakesEachFolderOnceAndClimbsOnlyAsFarAsNeeded) {
    TempDir dir;
    RunFolders folders;
    folders.Make(dir / "EXE\\..\\DATA\\AUDIO\\");
    EXPECT_TRUE(Attributes(dir / "DATA\\AUDIO") & FILE_ATTRIBUTE_DIRECTORY);
    EXPECT_FALSE(PathExists(dir / "EXE")) << "\"EXE\\..\\\" is the folder above, as the system resolves it";
    ASSERT_TRUE(::RemoveDirectoryA((dir / "DATA\\AUDIO").c_str()));
    folders.Make(dir / "exe\\..\\data\\audio\\");  // the same folder by another spelling of case: asked once
    EXPECT_FALSE(PathExists(dir / "DATA\\AUDIO")) << "a folder already made this run was made again";
    RunFolders another;
    another.Make(dir / "DATA\\AUDIO\\DEEP\\");
    EXPECT_TRUE(Attributes(dir / "DATA\\AUDIO\\DEEP") & FILE_ATTRIBUTE_DIRECTORY);
}

TEST(FileHelpers, FileExistsCountsHiddenAndSystemButNeverFolders) {
    TempDir dir;
    WriteFileBytes(dir / "h", "h");
    SetAttributes(dir / "h", FILE_ATTRIBUTE_HIDDEN);
    WriteFileBytes(dir / "s", "s");
    SetAttributes(dir / "s", FILE_ATTRIBUTE_SYSTEM);
    MakeFolder(dir / "d");
    EXPECT_TRUE(win::FileExists(dir / "h"));
    EXPECT_TRUE(win::FileExists(dir / "s"));
    EXPECT_FALSE(win::FileExists(dir / "d"));
    EXPECT_FALSE(win::FileExists(dir / "missing"));
    EXPECT_FALSE(win::OrdinaryFileExists(dir / "h"));
}

// An install on a network share: "\\server\share\" is the root, never made,
// and nothing appears relative to the current folder.
TEST(FileHelpers, CreateFolderPathKeepsTheShareRoot) {
    TempDir dir;
    char previous[MAX_PATH] = {};
    ::GetCurrentDirectoryA(MAX_PATH, previous);
    ASSERT_TRUE(::SetCurrentDirectoryA(dir.path().c_str()));
    CreateFolderPath("\\\\vt-no-such-server\\share\\VT\\maps\\");
    ::SetCurrentDirectoryA(previous);
    EXPECT_FALSE(PathExists(dir / "vt-no-such-server")) << "the share's path was made relative to the current folder";
    EXPECT_FALSE(PathExists(dir / "share"));
}

// Text at the edge to the wide API: lines of older files in the code page,
// names equal to the file system, paths past MAX_PATH.
TEST(WideEdge, ALineIsUtf8WhenItIsValidUtf8AndElseInTheAnsiCodePage) {
    ASSERT_EQ(::GetACP(), 1252u);
    EXPECT_EQ(win::LineAsUtf8("plain.txt|plain.txt|immer"), "plain.txt|plain.txt|immer");
    EXPECT_EQ(win::LineAsUtf8("for\xC3\xAA" "t.ini"), "for\xC3\xAA" "t.ini");             // UTF-8 stays
    EXPECT_EQ(win::LineAsUtf8("\xDC" "bersicht.txt"), "\xC3\x9C" "bersicht.txt");          // 1252 Ü
    EXPECT_EQ(win::LineAsUtf8("\x80 \xC3"), "\xE2\x82\xAC \xC3\x83");                      // € and a cut sequence: 1252
    EXPECT_EQ(win::LineAsUtf8("\xED\xA0\x80"), "\xC3\xAD\xC2\xA0\xE2\x82\xAC") << "an encoded surrogate is no UTF-8";
}

TEST(WideEdge, NamesAreTheSameFileInEveryScriptButNotWhenTheyDiffer) {
    EXPECT_TRUE(win::SameFileName("\xC3\x9C" "bersicht.txt", "\xC3\xBC" "BERSICHT.TXT"));
    EXPECT_TRUE(win::SameFileName("\xD0\x98\xD0\xB3\xD1\x80\xD0\xB0", "\xD0\x98\xD0\x93\xD0\xA0\xD0\x90"));  // Игра, ИГРА
    EXPECT_TRUE(win::SameFileName("\xE6\xB8\xB8\xE6\x88\x8F", "\xE6\xB8\xB8\xE6\x88\x8F"));
    EXPECT_FALSE(win::SameFileName("a.txt", "b.txt"));
    EXPECT_FALSE(win::SameFileName("a.txt", "a.txt "));
    EXPECT_EQ(win::FileNameKey("gra \xC5\x82\xC5\x9B\xC4\x87"), "GRA \xC5\x81\xC5\x9A\xC4\x86");  // ŁŚĆ
}

TEST(WideEdge, APathPastMaxPathIsWrittenReadAndRemoved) {
    TempDir dir;
    EXPECT_EQ(win::PathW("C:\\short\\x.txt"), L"C:\\short\\x.txt");
    std::string path = dir.path();
    for (int i = 0; i < 3; ++i) {
        path += std::string(100, static_cast<char>('a' + i)) + "\\";
        MakeFolder(path);
    }
    path += "\xD1\x84\xD0\xB0\xD0\xB9\xD0\xBB.txt";  // файл.txt
    ASSERT_GT(path.size(), 300u);
    EXPECT_EQ(win::PathW(path).rfind(L"\\\\?\\", 0), 0u);
    WriteFileBytes(path, "deep");
    EXPECT_TRUE(win::OrdinaryFileExists(path));
    EXPECT_EQ(win::ReadWholeFile(path), "deep");
    EXPECT_TRUE(win::DeleteClearingAttributes(path));
    EXPECT_FALSE(win::FileExists(path));
    // "." and ".." are resolved before the prefix, which would take them literally.
    const std::string dotted = dir.path() + std::string(100, 'a') + "\\.\\" + std::string(100, 'b') + "\\..\\" +
                               std::string(100, 'b') + "\\" + std::string(100, 'c') + "\\x.txt";
    WriteFileBytes(dotted, "dotted");
    EXPECT_EQ(ReadFileBytes(dir.path() + std::string(100, 'a') + "\\" + std::string(100, 'b') + "\\" +
                            std::string(100, 'c') + "\\x.txt"),
              "dotted");
}

// An owner's close keeps what GetLastError says about the call before it:
// "failed, code = GetLastError()" after a scope's owner closed its handle
// must name the failure, not the close. A close that itself fails (here of
// a handle already closed by hand) is the case where it would change it.
TEST(Handles, AResetKeepsTheLastError) {
    TempDir dir;
    WriteFileBytes(dir / "f", "x");
    win::UniqueFileHandle file = win::OpenShared(dir / "f");
    ASSERT_TRUE(file);
    ASSERT_TRUE(::CloseHandle(file.get()));  // the owner's close will now fail
    ::SetLastError(ERROR_SHARING_VIOLATION);
    file.reset();
    EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));

    win::UniqueFileHandle missing = win::OpenShared(dir / "missing");
    EXPECT_FALSE(missing);
    EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND)) << "the named open keeps the open's error";
}

namespace {

// `count` small files f0 ... in `dir`, and the lines that name them: each line
// is its file's name, and "-" a line whose look opens nothing.
std::vector<std::string> AheadLines(const TempDir& dir, int count) {
    std::vector<std::string> lines;
    for (int i = 0; i < count; ++i) {
        lines.push_back(i % 10 == 9 ? "-" : "f" + std::to_string(i));
        if (lines.back() != "-") WriteFileBytes(dir / lines.back(), "x");
    }
    return lines;
}

OpensAhead::FileToOpen InFolder(const TempDir& dir) {
    return [folder = dir.path()](const std::string& line) { return line == "-" ? std::string() : folder + line; };
}

// Until the opening threads have ended `count` opens (10 s at most).
bool WaitForOpens(const OpensAhead& ahead, std::size_t count) {
    for (int i = 0; i < 1000 && ahead.Waiting() < count; ++i) ::Sleep(10);
    return ahead.Waiting() >= count;
}

}  // namespace

// The threads open every line's file before the run asks; a file held
// without sharing is not opened, and a line naming none is never opened.
TEST(OpensAhead, OpensTheLinesBeforeTheRunAndNeverAFileHeldWithoutSharing) {
    TempDir dir;
    const std::vector<std::string> lines = AheadLines(dir, 200);
    win::UniqueFileHandle held(::CreateFileW(win::PathW(dir / "f40").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(held);
    OpensAhead ahead(lines, InFolder(dir));
    ASSERT_TRUE(WaitForOpens(ahead, lines.size())) << "the threads did not open the lines ahead";
    for (std::size_t i = 0; i < lines.size(); ++i) {
        SCOPED_TRACE(lines[i]);
        EXPECT_EQ(ahead.Opened(i), lines[i] != "-" && i != 40);
    }
    EXPECT_EQ(ahead.Waiting(), 0u);
}

// A failed open ahead is not the run's verdict: the look asks again in the
// run's order, so a file held a moment and freed before the run reaches it
// is there, and one still held is the FILE ACCESS ERROR's Unreadable.
TEST(OpensAhead, AFileHeldWhenOpenedAheadIsAskedAgainByTheLook) {
    TempDir dir;
    const std::vector<std::string> lines = AheadLines(dir, 100);
    win::UniqueFileHandle held(::CreateFileW(win::PathW(dir / "f5").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    win::UniqueFileHandle stillHeld(::CreateFileW(win::PathW(dir / "f6").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(held && stillHeld);
    OpensAhead ahead(lines, InFolder(dir));
    ASSERT_TRUE(WaitForOpens(ahead, lines.size()));
    held.reset();
    EXPECT_EQ(LookAtLocalFile(dir / "f5", ahead.Opened(5)).state, LocalFileLook::State::Present);
    EXPECT_EQ(LookAtLocalFile(dir / "f6", ahead.Opened(6)).state, LocalFileLook::State::Unreadable);
}

// Hold: no open goes on or begins until Go; with forget, nothing opened
// before counts (the run is about to replace files), and the run opens
// those lines itself. After Go the threads go on past them.
TEST(OpensAhead, AHoldStopsTheOpensAndForgettingDropsWhatWasOpened) {
    TempDir dir;
    const std::vector<std::string> lines = AheadLines(dir, 300);
    OpensAhead ahead(lines, InFolder(dir));
    ASSERT_TRUE(WaitForOpens(ahead, 20));
    ahead.Hold(false);
    const std::size_t held = ahead.Waiting();
    ::Sleep(100);
    EXPECT_EQ(ahead.Waiting(), held) << "an open began while held";
    EXPECT_TRUE(ahead.Opened(0)) << "a hold without forget keeps what was opened";

    ahead.Hold(true);
    EXPECT_EQ(ahead.Waiting(), 0u);
    EXPECT_FALSE(ahead.Opened(1)) << "forgotten: the run opens it itself";
    ahead.Go();
    ASSERT_TRUE(WaitForOpens(ahead, 1)) << "the threads did not go on after Go";
    std::size_t seen = 0;  // until no open has ended for 50 ms: the threads are through
    for (int i = 0; i < 200 && ahead.Waiting() != seen; ++i) {
        seen = ahead.Waiting();
        ::Sleep(50);
    }
    EXPECT_TRUE(ahead.Opened(lines.size() - 2)) << "the threads stopped before the end";
}

// A short list is not worth the threads: the run opens every file itself.
TEST(OpensAhead, AShortListOpensNothingAhead) {
    TempDir dir;
    const std::vector<std::string> lines = AheadLines(dir, static_cast<int>(OpensAhead::kFewest) - 1);
    OpensAhead ahead(lines, InFolder(dir));
    ::Sleep(100);
    EXPECT_EQ(ahead.Waiting(), 0u);
    EXPECT_FALSE(ahead.Opened(0));
}
