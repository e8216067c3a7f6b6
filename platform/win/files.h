// File-system questions and reads that both programs ask in the same way. All
// paths are 8-bit (ANSI code page) texts passed to the "A" functions unchanged.
#pragma once

#include <string>

namespace vt::win {

// The ordinary existence test: a file that is neither hidden nor system nor a
// folder. Used for UPDATE.CFG, the update run's own files and download targets.
bool OrdinaryFileExists(const std::string& path);

// The searching existence test: any file matching `path` by the system's file
// search, hidden and system files included, folders never. Throws a Failure when
// the search rejects the path outright (a drive that does not exist).
bool FileExists(const std::string& path);

// Deletes a file whatever its attributes: read-only, hidden and system are
// cleared first (DeleteFile refuses a read-only file; Wine refuses it too, as
// a file without write permission). Never through a link to a folder: the
// caller decides what it may delete. False, with GetLastError, on failure.
bool DeleteClearingAttributes(const std::string& path);

// The whole file as bytes. Throws a Failure naming the path when it cannot be
// opened (for example held open without sharing) or read. Readers share read
// and write access, so only a holder that shares nothing stops them.
std::string ReadWholeFile(const std::string& path);

// The running program's folder as the system reports it: "C:\Games\VT", or the
// drive root with its backslash, "C:\".
std::string ProgramFolder();

}  // namespace vt::win
