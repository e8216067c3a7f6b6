// File-system questions and reads that both programs ask in the same way.
// Paths are UTF-8, given to the system's wide functions through PathW
// (text_codes.h), so any name and any length the file system allows works.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/win/handles.h"

namespace vt::win {

// The ordinary existence test: a file that is neither hidden nor system nor a
// folder. Used for UPDATE.CFG, the update run's own files and download targets.
bool OrdinaryFileExists(const std::string& path);

// The searching existence test: any file matching `path` by the system's file
// search, hidden and system files included, folders never. Throws a Failure when
// the search rejects the path outright (a drive that does not exist).
bool FileExists(const std::string& path);

// The opens of a file's bytes, named by who else may use the file meanwhile
// (their share flags), so that no caller spells those out again.
// - Shared: others may read and write it; only a holder that shares nothing
//   stops this open. A look at a file, the whole read of a small one: this
//   open is what finds a file another program holds (FILE ACCESS ERROR).
UniqueFileHandle OpenShared(const std::string& path, DWORD flags = FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN);
// - Steady: no one may write it while it is read, since its bytes are hashed
//   or copied; others may read it, rename or delete it. A program that
//   writes it for a moment (or holds it without sharing) is waited out
//   (held_file.h): a hash or copy of a file is work that would be lost.
UniqueFileHandle OpenSteady(const std::string& path, DWORD flags = FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN);
// - Alone: a file this program makes and alone uses while it holds it (a
//   partial file, a temporary beside a target): nobody else may open it.
UniqueFileHandle OpenAlone(const std::string& path, DWORD access, DWORD disposition,
                           DWORD flags = FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN);

// A file's size and raw last-write time (FILETIME as 64 bits).
struct FileFacts {
    std::uint64_t size = 0;
    std::uint64_t written = 0;
};
// Both as a path's attribute data holds them.
FileFacts FactsOf(const WIN32_FILE_ATTRIBUTE_DATA& data);
// Both by one question that opens nothing (GetFileAttributesEx); nothing for
// a folder, a name that is not there, and with `refuseLinks` a link (a
// reparse point), which a caller that deletes or appends must not follow.
std::optional<FileFacts> ReadFileFacts(const std::string& path, bool refuseLinks = false);

// Deletes a file whatever its attributes: read-only, hidden and system are
// cleared first (DeleteFile refuses a read-only file; Wine refuses it too, as
// a file without write permission). Never through a link to a folder: the
// caller decides what it may delete. A short hold is waited out
// (held_file.h). False, with GetLastError, on failure.
bool DeleteClearingAttributes(const std::string& path);

// Deletes a file as it is, waiting out a short hold (held_file.h). False,
// with GetLastError, on failure.
bool DeleteWaiting(const std::string& path);

// The whole file as bytes, a short hold waited out (held_file.h). Throws a
// Failure naming the path when it cannot be opened (for example held open
// without sharing for longer) or read. Readers share read
// and write access, so only a holder that shares nothing stops them.
std::string ReadWholeFile(const std::string& path);

// Whether two file names are the same to the file system: equal but for
// case, in every script (CompareStringOrdinal, ignoring case, as NTFS does).
bool SameFileName(std::string_view a, std::string_view b);
// A name in the file system's upper case, for sets and maps of names: the
// one idea of FileNameUpper (platform/text.h), asked of the system itself
// (CharUpperBuffW, every script), where the portable rules fold only the
// scripts they must. Windows code uses this one.
std::string FileNameKey(std::string_view name);

// The key of the file a path reaches, for comparing two spellings of it:
// the path as the system resolves it (GetFullPathName: "." and ".." taken,
// trailing dots dropped; no disk is asked) in FileNameKey.
// "C:\VT\..\DATA\sub\..\x.txt" and "c:\vt\..\data\X.TXT" are one key.
std::string FullPathKey(const std::string& path);

// A path without its long-path prefix: "\\?\C:\x" is "C:\x", "\\?\UNC\s\x" is "\\s\x".
std::string WithoutLongPrefix(std::string path);

// The running program's folder as the system reports it: "C:\Games\VT", or the
// drive root with its backslash, "C:\".
std::string ProgramFolder();

}  // namespace vt::win
