// The clone's copy and removal on Wine's real file system.
#include <gtest/gtest.h>

#include "platform/win/failure.h"
#include "platform/win/handles.h"
#include "starter/win/clone_folder.h"
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

// A folder link inside the clone must never lead the removal outside it, and
// a clone folder that is itself a link is not removed at all.
TEST(RemoveFolderTree, LinkToACanaryFolderIsNeverFollowed) {
    TempDir dir;
    MakeFolder(dir / "canary");
    WriteFileBytes(dir / "canary\\keep.txt", "keep");
    MakeFolder(dir / "clone");
    WriteFileBytes(dir / "clone\\a", "a");
    ASSERT_TRUE(MakeUnixSymlink(dir / "canary", dir / "clone\\link")) << "could not make a folder link under Wine";
    ASSERT_TRUE(Attributes(dir / "clone\\link") & FILE_ATTRIBUTE_REPARSE_POINT) << "Wine did not report the symlink as a link";
    ASSERT_TRUE(MakeUnixSymlink(dir / "canary", dir / "clonelink"));

    CopyFolderTree(dir / "clone\\", dir / "copy\\");
    EXPECT_FALSE(PathExists(dir / "copy\\link")) << "the copy followed or copied the link";
    EXPECT_EQ(ReadFileBytes(dir / "copy\\a"), "a");

    RemoveFolderTree(dir / "clonelink\\");
    RemoveFolderTree(dir / "clonelink");
    EXPECT_EQ(ReadFileBytes(dir / "canary\\keep.txt"), "keep");

    RemoveFolderTree(dir / "clone\\");
    EXPECT_EQ(ReadFileBytes(dir / "canary\\keep.txt"), "keep");
    EXPECT_FALSE(PathExists(dir / "clone\\a"));
}

// A file link is a file to the game: the clone gets its content.
TEST(CopyFolderTree, FileLinksAreCopiedByTheirContent) {
    TempDir dir;
    MakeFolder(dir / "outside");
    WriteFileBytes(dir / "outside\\data.bin", "linked content");
    MakeFolder(dir / "EXE");
    ASSERT_TRUE(MakeUnixSymlink(dir / "outside\\data.bin", dir / "EXE\\data.bin"));
    CopyFolderTree(dir / "EXE\\", dir / "EXE2\\");
    EXPECT_EQ(ReadFileBytes(dir / "EXE2\\data.bin"), "linked content");
    RemoveFolderTree(dir / "EXE2\\");
    EXPECT_EQ(ReadFileBytes(dir / "outside\\data.bin"), "linked content");
}

// The same folder under another spelling is the same folder: a copy onto
// it (a trailing dot, another case) never touches the source.
TEST(CopyFolderTree, TargetThatIsTheSourceUnderAnotherNameIsLeftAlone) {
    TempDir dir;
    MakeFolder(dir / "EXE");
    MakeFolder(dir / "EXE\\sub");
    WriteFileBytes(dir / "EXE\\sub\\a", "a");
    CopyFolderTree(dir / "EXE\\", dir / "exe.\\");
    EXPECT_EQ(TreeSnapshot(dir / "EXE"), (std::map<std::string, std::string>{{"sub", "<dir>"}, {"sub\\a", "a"}}));
}

TEST(CloneFolder, MarkerIsWrittenFirstNeverCopiedAndClaimsOnlyItsOwnFolder) {
    TempDir dir;
    MakeFolder(dir / "EXE");
    WriteFileBytes(dir / "EXE\\game.dll", "dll");
    ASSERT_TRUE(starter::MakeOwnClone(dir / "EXE2\\"));
    EXPECT_TRUE(starter::IsOwnClone(dir / "EXE2\\"));
    EXPECT_TRUE(starter::IsOwnClone(dir / "EXE2"));
    EXPECT_TRUE(Attributes(dir / "EXE2\\vtwd-clone.marker") & FILE_ATTRIBUTE_HIDDEN);
    EXPECT_FALSE(starter::IsOwnClone(dir / "EXE\\"));

    // A player's backup copy of a clone carries the marker along, but it names
    // the folder it was made for: the copy is not an own clone.
    CopyFolderTree(dir / "EXE2\\", dir / "backup\\");
    EXPECT_FALSE(PathExists(dir / "backup\\vtwd-clone.marker")) << "the copy carried the marker";
    MakeFolder(dir / "backup2");
    ASSERT_TRUE(::CopyFileA((dir / "EXE2\\vtwd-clone.marker").c_str(), (dir / "backup2\\vtwd-clone.marker").c_str(), FALSE));
    EXPECT_FALSE(starter::IsOwnClone(dir / "backup2\\"));
    starter::RemoveOwnClone(dir / "backup2\\");
    EXPECT_TRUE(PathExists(dir / "backup2\\vtwd-clone.marker"));

    WriteFileBytes(dir / "EXE2\\vtwd-clone.marker", "edited");
    EXPECT_FALSE(starter::IsOwnClone(dir / "EXE2\\"));
}

TEST(CloneFolder, RemovalCutShortKeepsTheMarkerForTheNextStart) {
    TempDir dir;
    ASSERT_TRUE(starter::MakeOwnClone(dir / "EXE2\\"));
    {
        starter::CloneRecorder recorder(dir / "EXE2\\");
        for (const char* name : {"EXE2\\free.dat", "EXE2\\busy.dat"}) {
            WriteFileBytes(dir / name, "made by the copy");
            recorder.Created(dir / name);
        }
    }
    WriteFileBytes(dir / "EXE2\\foreign.dat", "put here by someone else");
    {
        win::UniqueFileHandle holder(::CreateFileA((dir / "EXE2\\busy.dat").c_str(), GENERIC_READ, 0, nullptr,
                                                   OPEN_EXISTING, 0, nullptr));
        ASSERT_TRUE(holder);
        starter::RemoveOwnClone(dir / "EXE2\\");
    }
    EXPECT_FALSE(PathExists(dir / "EXE2\\free.dat"));
    EXPECT_TRUE(starter::IsOwnClone(dir / "EXE2\\")) << "the marker went before the clone did";
    starter::RemoveOwnClone(dir / "EXE2\\");
    EXPECT_FALSE(PathExists(dir / "EXE2\\busy.dat"));
    EXPECT_EQ(ReadFileBytes(dir / "EXE2\\foreign.dat"), "put here by someone else") << "not made by the copy";
    EXPECT_TRUE(starter::IsOwnClone(dir / "EXE2\\"));
    ::DeleteFileA((dir / "EXE2\\foreign.dat").c_str());
    starter::RemoveOwnClone(dir / "EXE2\\");
    EXPECT_FALSE(PathExists(dir / "EXE2"));
}

// What the copy made goes whatever its attributes (read-only, hidden,
// system) and however deep; the folder goes once it is empty.
TEST(CloneFolder, OwnedEntriesGoWhateverTheirAttributes) {
    TempDir dir;
    MakeFolder(dir / "EXE");
    MakeFolder(dir / "EXE\\sub");
    WriteFileBytes(dir / "EXE\\sub\\locked.dat", "read-only");
    WriteFileBytes(dir / "EXE\\plain.dat", "plain");
    SetAttributes(dir / "EXE\\sub\\locked.dat", FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
    ASSERT_TRUE(starter::MakeOwnClone(dir / "EXE2\\"));
    {
        starter::CloneRecorder recorder(dir / "EXE2\\");
        CopyFolderTree(dir / "EXE\\", dir / "EXE2\\", &recorder);
    }
    ASSERT_EQ(ReadFileBytes(dir / "EXE2\\sub\\locked.dat"), "read-only");
    ASSERT_TRUE(Attributes(dir / "EXE2\\sub\\locked.dat") & FILE_ATTRIBUTE_READONLY);
    starter::RemoveOwnClone(dir / "EXE2\\");
    EXPECT_FALSE(PathExists(dir / "EXE2"));
    EXPECT_EQ(ReadFileBytes(dir / "EXE\\sub\\locked.dat"), "read-only");
}
