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

// Clears only the read-only attribute; a missing file is no error.
void ClearReadOnly(const std::string& FileName);

// Creates every folder along `Path` ("\"-separated; empty components skipped,
// drives such as "C:" left alone, and "\\server\share\" kept as the root of a
// path on a network share). Every failure is ignored.
void CreateFolderPath(const std::string& Path);

}  // namespace vt::launcher
