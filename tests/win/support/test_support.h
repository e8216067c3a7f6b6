// Helpers for the tests that run under Wine: scratch folders, files with
// attributes, and the locations of the built programs.
#pragma once

#include <windows.h>

#include <condition_variable>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <thread>

#include "platform/win/handles.h"

namespace vt::test {

// The build folder and source folder as Windows paths (from the test's
// environment), each ending in a backslash.
std::string BuildDir();
std::string SourceDir();

// The https fixture's folder (VT_TLS_DIR, ending in a backslash): "www\" is
// what its servers serve; TlsPort("trusted") and TlsPort("untrusted") are
// their ports on localhost. 0 when the fixture is not there.
std::string TlsDir();
int TlsPort(const std::string& name);

// A fresh folder under the system's temporary folder, removed with everything
// in it (attributes cleared first) when the object goes.
class TempDir {
public:
    TempDir();
    explicit TempDir(const std::string& under);  // in that folder (ending in a backslash) instead
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& path() const { return path_; }  // ends in a backslash
    std::string operator/(const std::string& name) const { return path_ + name; }

private:
    std::string path_;
};

// A small volume of its own (a tmpfs of 24 MiB that tests/win/small_disk.sh
// mounts for the run), ending in a backslash; empty outside that run.
std::string SmallDisk();
std::uint64_t FreeBytes(const std::string& folder);  // on the volume holding it

void WriteFileBytes(const std::string& path, const std::string& bytes);
std::string ReadFileBytes(const std::string& path);  // empty when missing
void MakeFolder(const std::string& path);
void SetAttributes(const std::string& path, DWORD attributes);
DWORD Attributes(const std::string& path);  // INVALID_FILE_ATTRIBUTES when missing
bool PathExists(const std::string& path);
void RemoveTree(const std::string& path);   // without trailing backslash or with

// Every folder and file below `path` (relative names, folders as "<dir>",
// files as their bytes), to check a canary tree byte for byte.
std::map<std::string, std::string> TreeSnapshot(const std::string& path);

// Makes a Unix symlink `link` to `target` (both Windows paths) with /bin/ln.
// Wine cannot make a link from Windows code (CreateSymbolicLink reports
// success and makes nothing); a Unix symlink shows as a link (reparse point).
// False when no link appeared.
bool MakeUnixSymlink(const std::string& target, const std::string& link);

// The Unix path Wine maps a Windows path to; empty outside Wine.
std::string UnixPathOf(const std::string& windowsPath);

// The 8.3 alias of an existing path (GetShortPathNameA).
std::string ShortPath(const std::string& path);

// Starts `commandLine` in `folder`; an empty handle when it cannot be started.
win::UniqueKernelHandle StartProgram(const std::string& commandLine, const std::string& folder, DWORD* processId = nullptr);

// `path` held as another program would hold it (a virus scanner, a backup):
// opened at once with `share` (0: nothing shared), and closed `ms` later by
// a thread of its own, or when the object goes. Wine's server keeps the
// sharing rules between handles of one process as between programs.
class HeldFile {
public:
    static constexpr DWORD kUntilGone = INFINITE;
    HeldFile(const std::string& path, DWORD ms, DWORD share = 0);
    ~HeldFile();  // closes the file (if still held) and waits for the thread
    HeldFile(const HeldFile&) = delete;
    HeldFile& operator=(const HeldFile&) = delete;
    bool Held() const { return file_ != INVALID_HANDLE_VALUE; }  // the open worked

private:
    HANDLE file_;
    std::mutex mutex_;
    std::condition_variable wake_;
    bool gone_ = false;
    std::thread thread_;
};

// Sets a file's last-write time to a local wall-clock time.
void SetLocalWriteTime(const std::string& path, int year, int month, int day, int hour, int minute, int second,
                       int milliseconds = 0);

}  // namespace vt::test
