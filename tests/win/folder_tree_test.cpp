// The clone's copy and removal on Wine's real file system.
#include <gtest/gtest.h>

#include "platform/win/failure.h"
#include "platform/win/handles.h"
#include "starter/win/folder_tree.h"
#include "support/test_support.h"

using namespace vt;
using namespace vt::test;
using starter::CopyFolderTree;
using starter::RemoveFolderTree;

namespace {
bool IsFile(const std::string& path) {
    const DWORD a = Attributes(path);
    return a != INVALID_FILE_ATTRIBUTES && !(a & FILE_ATTRIBUTE_DIRECTORY);
}
}  // namespace

TEST(CopyFolderTree, CopiesFilesAndSubFoldersIntoAMissingTarget) {
    TempDir dir;
    MakeFolder(dir / "EXE");
    WriteFileBytes(dir / "EXE\\a.exe", "A");
    WriteFileBytes(dir / "EXE\\b.dll", "BB");
    MakeFolder(dir / "EXE\\sub");
    WriteFileBytes(dir / "EXE\\sub\\c.ini", "C");
    MakeFolder(dir / "EXE\\empty");
    CopyFolderTree(dir / "EXE\\", dir / "EXE2\\");
    EXPECT_EQ(ReadFileBytes(dir / "EXE2\\a.exe"), "A");
    EXPECT_EQ(ReadFileBytes(dir / "EXE2\\b.dll"), "BB");
    EXPECT_EQ(ReadFileBytes(dir / "EXE2\\sub\\c.ini"), "C");
    EXPECT_TRUE(Attributes(dir / "EXE2\\empty") & FILE_ATTRIBUTE_DIRECTORY);
    EXPECT_EQ(ReadFileBytes(dir / "EXE\\a.exe"), "A");  // the source stays
}

TEST(CopyFolderTree, BackupFilesAreLeftOutButBackupNamedFoldersAreCopied) {
    TempDir dir;
    MakeFolder(dir / "S");
    for (const char* name : {"x.srmmbak", "Y.SRMMBAK", "srmmbak", "x.srmmbak.txt"}) WriteFileBytes(dir / "S\\" + name, name);
    MakeFolder(dir / "S\\x.srmmbak.d");
    MakeFolder(dir / "S\\f.srmmbak");
    WriteFileBytes(dir / "S\\f.srmmbak\\in.txt", "in");
    CopyFolderTree(dir / "S", dir / "T");
    EXPECT_FALSE(PathExists(dir / "T\\x.srmmbak"));
    EXPECT_FALSE(PathExists(dir / "T\\Y.SRMMBAK"));
    EXPECT_FALSE(PathExists(dir / "T\\srmmbak"));
    EXPECT_TRUE(IsFile(dir / "T\\x.srmmbak.txt"));
    EXPECT_EQ(ReadFileBytes(dir / "T\\f.srmmbak\\in.txt"), "in");
}

TEST(CopyFolderTree, SingleFileTestsTheWholePath) {
    TempDir dir;
    WriteFileBytes(dir / "srmmbak", "bare");
    WriteFileBytes(dir / "a.SrmmBak", "bak");
    CopyFolderTree(dir / "srmmbak", dir / "copy1");  // the whole path holds no point before the word
    CopyFolderTree(dir / "a.SrmmBak", dir / "copy2");
    EXPECT_EQ(ReadFileBytes(dir / "copy1"), "bare");
    EXPECT_FALSE(PathExists(dir / "copy2"));
}

TEST(CopyFolderTree, ReadOnlyHiddenAndSystemFiles) {
    TempDir dir;
    MakeFolder(dir / "S");
    MakeFolder(dir / "T");
    WriteFileBytes(dir / "S\\game.exe", "new");
    WriteFileBytes(dir / "S\\hidden.dat", "h");
    SetAttributes(dir / "S\\hidden.dat", FILE_ATTRIBUTE_HIDDEN);
    WriteFileBytes(dir / "S\\system.dat", "s");
    SetAttributes(dir / "S\\system.dat", FILE_ATTRIBUTE_SYSTEM);
    WriteFileBytes(dir / "T\\game.exe", "old and longer");
    SetAttributes(dir / "T\\game.exe", FILE_ATTRIBUTE_READONLY);
    CopyFolderTree(dir / "S\\", dir / "T\\");
    EXPECT_EQ(ReadFileBytes(dir / "T\\game.exe"), "new");
    EXPECT_EQ(ReadFileBytes(dir / "T\\hidden.dat"), "h");
    EXPECT_EQ(ReadFileBytes(dir / "T\\system.dat"), "s");

    RemoveFolderTree(dir / "T\\");
    EXPECT_FALSE(PathExists(dir / "T"));
}

TEST(CopyFolderTree, MissingSourceRaisesAndMissingTargetParentIsQuiet) {
    TempDir dir;
    EXPECT_THROW(CopyFolderTree(dir / "nothing\\", dir / "T\\"), win::Failure);
    EXPECT_FALSE(PathExists(dir / "T"));
    MakeFolder(dir / "S");
    WriteFileBytes(dir / "S\\a", "a");
    EXPECT_NO_THROW(CopyFolderTree(dir / "S\\", dir / "no\\parent\\T\\"));
    EXPECT_FALSE(PathExists(dir / "no"));
}

TEST(CopyFolderTree, TargetInsideSourceDoesNotRecurse) {
    TempDir dir;
    MakeFolder(dir / "S");
    WriteFileBytes(dir / "S\\a", "a");
    MakeFolder(dir / "S\\sub");
    WriteFileBytes(dir / "S\\sub\\b", "b");
    CopyFolderTree(dir / "S\\", dir / "S\\clone\\");
    EXPECT_EQ(ReadFileBytes(dir / "S\\clone\\a"), "a");
    EXPECT_EQ(ReadFileBytes(dir / "S\\clone\\sub\\b"), "b");
    EXPECT_FALSE(PathExists(dir / "S\\clone\\clone"));
    CopyFolderTree(dir / "S\\", dir / "S\\");  // onto itself: nothing changes
    EXPECT_EQ(ReadFileBytes(dir / "S\\a"), "a");
}

TEST(RemoveFolderTree, RemovesWithOrWithoutTrailingBackslash) {
    for (const char* ending : {"", "\\"}) {
        TempDir dir;
        MakeFolder(dir / "C");
        MakeFolder(dir / "C\\d");
        WriteFileBytes(dir / "C\\d\\f", "f");
        SetAttributes(dir / "C\\d\\f", FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN);
        RemoveFolderTree(dir / "C" + ending);
        EXPECT_FALSE(PathExists(dir / "C")) << '"' << ending << '"';
    }
}

TEST(RemoveFolderTree, MissingFolderAndRootsAreLeftAlone) {
    TempDir dir;
    EXPECT_NO_THROW(RemoveFolderTree(dir / "missing\\"));
    WriteFileBytes(dir / "keep", "k");
    EXPECT_NO_THROW(RemoveFolderTree(""));
    EXPECT_NO_THROW(RemoveFolderTree(dir.path().substr(0, 3)));  // "C:\" of the scratch folder
    EXPECT_TRUE(IsFile(dir / "keep"));
}

TEST(RemoveFolderTree, FileHeldOpenKeepsItselfAndItsFoldersOnly) {
    TempDir dir;
    MakeFolder(dir / "C");
    MakeFolder(dir / "C\\busy");
    MakeFolder(dir / "C\\busy\\deeper");
    MakeFolder(dir / "C\\free");
    WriteFileBytes(dir / "C\\busy\\deeper\\locked.dat", "l");
    WriteFileBytes(dir / "C\\busy\\other.dat", "o");
    WriteFileBytes(dir / "C\\free\\x", "x");
    WriteFileBytes(dir / "C\\top", "t");
    {
        win::UniqueFileHandle holder(
            ::CreateFileA((dir / "C\\busy\\deeper\\locked.dat").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
        ASSERT_TRUE(holder);
        RemoveFolderTree(dir / "C\\");
    }
    EXPECT_TRUE(IsFile(dir / "C\\busy\\deeper\\locked.dat"));
    EXPECT_FALSE(PathExists(dir / "C\\busy\\other.dat"));
    EXPECT_FALSE(PathExists(dir / "C\\free"));
    EXPECT_FALSE(PathExists(dir / "C\\top"));
}

// A folder link inside the clone must never lead the removal outside it. Wine
// cannot make a link from Windows code (CreateSymbolicLink reports success and
// makes nothing), so the test makes a Unix symlink with /bin/ln, which Wine
// shows as a folder link (0x410), and fails if it cannot.
TEST(RemoveFolderTree, LinkToACanaryFolderIsNeverFollowed) {
    TempDir dir;
    MakeFolder(dir / "canary");
    WriteFileBytes(dir / "canary\\keep.txt", "keep");
    MakeFolder(dir / "clone");
    WriteFileBytes(dir / "clone\\a", "a");

    char unixPath[MAX_PATH];
    {
        // The scratch folder's Unix path, as /bin/ln needs it.
        using Fn = char*(CDECL*)(const WCHAR*);
        auto toUnix = reinterpret_cast<Fn>(
            reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleA("kernel32.dll"), "wine_get_unix_file_name")));
        ASSERT_NE(toUnix, nullptr) << "not running under Wine";
        std::wstring wide(dir.path().begin(), dir.path().end());
        char* unix = toUnix(wide.c_str());
        ASSERT_NE(unix, nullptr);
        lstrcpynA(unixPath, unix, MAX_PATH);
        ::HeapFree(::GetProcessHeap(), 0, unix);
    }
    std::string base = unixPath;
    if (base.back() != '/') base += '/';
    std::string command = "/bin/ln -s " + base + "canary " + base + "clone/link";
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    ASSERT_TRUE(::CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process));
    ::WaitForSingleObject(process.hProcess, 10000);
    ::CloseHandle(process.hThread);
    ::CloseHandle(process.hProcess);
    DWORD link = INVALID_FILE_ATTRIBUTES;  // Wine may signal a Unix process's end before it has run
    for (int i = 0; i < 100 && link == INVALID_FILE_ATTRIBUTES; ++i, ::Sleep(50)) link = Attributes(dir / "clone\\link");
    ASSERT_NE(link, INVALID_FILE_ATTRIBUTES) << "could not make a folder link under Wine";
    ASSERT_TRUE(link & FILE_ATTRIBUTE_REPARSE_POINT) << "Wine did not report the symlink as a link";

    CopyFolderTree(dir / "clone\\", dir / "copy\\");
    EXPECT_FALSE(PathExists(dir / "copy\\link")) << "the copy followed or copied the link";
    EXPECT_EQ(ReadFileBytes(dir / "copy\\a"), "a");

    RemoveFolderTree(dir / "clone\\");
    EXPECT_EQ(ReadFileBytes(dir / "canary\\keep.txt"), "keep");
    EXPECT_FALSE(PathExists(dir / "clone\\a"));
}
