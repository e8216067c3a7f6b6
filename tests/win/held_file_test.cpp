// Files another program holds for a moment, under Wine, whose server keeps
// the sharing rules as Windows does: the platform's reads, replaces, copies
// and deletes wait a short hold out, fail as before on a long one, and say
// so to the program's log.
#include <gtest/gtest.h>

#include <vector>

#include "platform/win/files.h"
#include "platform/win/held_file.h"
#include "platform/win/program_log.h"
#include "platform/win/replace_file.h"
#include "support/test_support.h"

using namespace vt;
using namespace vt::test;

namespace {

struct Wait {
    std::string path;
    std::uint64_t ms;
    bool freed;
};

// Records every wait the platform reports while it lives.
class Waits {
public:
    Waits() {
        win::ReportHeldFilesTo([this](const std::string& path, std::uint64_t ms, bool freed) {
            std::lock_guard<std::mutex> lock(mutex_);
            seen_.push_back({path, ms, freed});
        });
    }
    ~Waits() { win::ReportHeldFilesTo(nullptr); }
    std::vector<Wait> Seen() {
        std::lock_guard<std::mutex> lock(mutex_);
        return seen_;
    }

private:
    std::mutex mutex_;
    std::vector<Wait> seen_;
};

class HeldFiles : public ::testing::Test {
protected:
    std::string File(const std::string& name, const std::string& bytes) {
        WriteFileBytes(dir / name, bytes);
        return dir / name;
    }
    TempDir dir;
    Waits waits;
};

}  // namespace

TEST_F(HeldFiles, AReadWaitsOutAShortHoldAndSaysSo) {
    const std::string path = File("a.txt", "bytes of a");
    HeldFile held(path, 1500);
    ASSERT_TRUE(held.Held());
    EXPECT_EQ(win::ReadWholeFile(path), "bytes of a");
    const std::vector<Wait> seen = waits.Seen();
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].path, path);
    EXPECT_TRUE(seen[0].freed);
    EXPECT_GT(seen[0].ms, 0u);
}

// A scanner reads the old file sharing reading and writing, not its
// deletion: the look may open it, and the move over it is refused (access
// denied) until it lets go.
TEST_F(HeldFiles, AReplaceWaitsForTheOldFileToBeLetGo) {
    const std::string target = File("big.bin", "old bytes");
    HeldFile held(target, 2500, FILE_SHARE_READ | FILE_SHARE_WRITE);
    ASSERT_TRUE(held.Held());
    std::string why;
    EXPECT_TRUE(win::WriteFileReplacing(target, "new bytes", &why)) << why;
    EXPECT_EQ(ReadFileBytes(target), "new bytes");
    ASSERT_EQ(waits.Seen().size(), 1u);
    EXPECT_TRUE(waits.Seen()[0].freed);
}

// Held past the bound: the replace fails as it always did, the old file
// stays byte for byte, no temporary file stays, and the wait is reported
// as one that did not end.
TEST_F(HeldFiles, AHoldPastTheBoundFailsAsBeforeAndLeavesTheOldFile) {
    const std::string target = File("big.bin", "old bytes");
    HeldFile held(target, HeldFile::kUntilGone, FILE_SHARE_READ | FILE_SHARE_WRITE);
    ASSERT_TRUE(held.Held());
    std::string why;
    EXPECT_FALSE(win::WriteFileReplacing(target, "new bytes", &why));
    EXPECT_NE(why.find("cannot replace the target"), std::string::npos) << why;
    EXPECT_EQ(ReadFileBytes(target), "old bytes");
    const std::vector<Wait> seen = waits.Seen();
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_FALSE(seen[0].freed);
    EXPECT_GE(seen[0].ms, kUseBoundMs);
    EXPECT_EQ(TreeSnapshot(dir.path()).size(), 1u) << "a temporary file stayed beside the target";
}

TEST_F(HeldFiles, ACopyWaitsForItsSourceAndADeleteForItsFile) {
    const std::string source = File("game.exe", "game bytes");
    {
        HeldFile held(source, 1500);
        std::string why;
        EXPECT_TRUE(win::CopyFileReplacing(source, dir / "clone.exe", &why)) << why;
    }
    EXPECT_EQ(ReadFileBytes(dir / "clone.exe"), "game bytes");
    {
        HeldFile held(dir / "clone.exe", 1500);
        EXPECT_TRUE(win::DeleteClearingAttributes(dir / "clone.exe"));
    }
    EXPECT_FALSE(PathExists(dir / "clone.exe"));
    EXPECT_EQ(waits.Seen().size(), 2u);
}

// Nothing held, nothing waited: a missing file, a refused open of a folder
// and an unwritable name fail at once, with their own errors.
TEST_F(HeldFiles, WhatNoHoldExplainsFailsAtOnceWithItsOwnError) {
    const ULONGLONG start = ::GetTickCount64();
    EXPECT_THROW(win::ReadWholeFile(dir / "missing.txt"), std::exception);
    EXPECT_FALSE(win::DeleteWaiting(dir / "missing.txt"));
    EXPECT_EQ(::GetLastError(), DWORD{ERROR_FILE_NOT_FOUND});
    MakeFolder(dir / "folder");
    EXPECT_FALSE(win::IsHoldError(ERROR_ACCESS_DENIED, dir / "folder", true)) << "a folder is no file held";
    EXPECT_FALSE(win::IsHoldError(ERROR_ACCESS_DENIED, File("b.txt", "b"), false)) << "an open refused is permissions";
    EXPECT_TRUE(win::IsHoldError(ERROR_ACCESS_DENIED, dir / "b.txt", true));
    EXPECT_TRUE(waits.Seen().empty());
    // Bound with a reason: none of these pauses even once (the first pause
    // alone is 50 ms), so even a busy machine answers well within the
    // shortest bound.
    EXPECT_LT(::GetTickCount64() - start, ULONGLONG{kLookBoundMs});
}

// The program's log writes each wait as a person reads it.
TEST_F(HeldFiles, TheProgramsLogSaysWhatWasHeldAndForHowLong) {
    const std::string path = File("a.txt", "a");
    {
        win::ProgramLog log(dir.path(), "program.log");
        log.ReportHeldFiles();
        HeldFile held(path, 300);
        win::ReadWholeFile(path);
    }
    const std::string text = ReadFileBytes(dir / "program.log");
    EXPECT_NE(text.find(" HELD " + path + ": held by another program, waited "), std::string::npos) << text;
}
