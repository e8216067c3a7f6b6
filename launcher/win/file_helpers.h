// The launcher's small file operations. None shows anything; each reports at
// most a Boolean and the caller decides what the player sees. All paths go to
// the system's "A" functions unchanged.
#pragma once

#include <cstdint>
#include <string>

#include "launcher/rules/date_value.h"

namespace vt::launcher {

// The file's (or folder's) three times in local time, to the second
// (milliseconds dropped). Clears the read-only attribute first. False, with
// all three set to 0, when the file cannot be opened.
// Size and last-write time (FILETIME as 64 bits) read with the times, so
// that comparing a file with the side file needs no second question.
struct FileFacts {
    std::uint64_t size = 0;
    std::uint64_t written = 0;
};
bool GetFileTimes(std::string FileName, DateValue& Created, DateValue& LastAccessed, DateValue& LastWritten,
                  FileFacts* facts = nullptr);

// One look at a list entry's local file, by opening it: whether it is there,
// and then its last-write time (local, to the second, as GetFileTimes gives
// it) with its size and raw last-write time. A folder at the name, or nothing
// there, is Missing; a file that exists but cannot be opened (held without
// sharing) is Unreadable. A read-only file has the attribute cleared, as
// GetFileTimes does.
struct LocalFileLook {
    enum class State { Missing, Present, Unreadable };
    State state = State::Missing;
    DateValue lastWritten = 0;
    FileFacts facts;
};
LocalFileLook LookAtLocalFile(const std::string& path);

// Clears only the read-only attribute; a missing file is no error.
void ClearReadOnly(const std::string& FileName);

// Creates every folder along `Path` ("\"-separated; empty components skipped,
// drives such as "C:" left alone, and "\\server\share\" kept as the root of a
// path on a network share). Every failure is ignored.
void CreateFolderPath(const std::string& Path);

}  // namespace vt::launcher
