// Every question an update run asks of the disk about the mod's local files,
// in one place, each asked once: the look at a list entry's file (its facts
// by the path, and one open, which is what finds a file another program
// holds, the FILE ACCESS ERROR), a folder made once a run, the read-only bit cleared. Paths are
// UTF-8, given to the system's wide functions.
//
// A no-op start asks this for each of tens of thousands of entries, and under
// Wine every call is a round trip to the wine server: a question not asked
// is the only cheap one.
#pragma once

#include <cstdint>
#include <string>
#include <unordered_set>

#include "launcher/rules/date_value.h"
#include "platform/win/files.h"

namespace vt::launcher {

using win::FileFacts;

// One look at a list entry's local file: whether it is there, and then its
// last-write time (local, to the second, milliseconds dropped) with its size
// and raw last-write time, so that comparing it with the side file needs no
// second question. The facts come by the path; the file is opened only to
// find one another program holds. A folder at the name, or nothing there, is
// Missing; a file that exists but cannot be opened (held without sharing) is
// Unreadable. A read-only file has the attribute cleared.
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
// path on a network share). From the deepest folder up to the first that
// exists, then down again: a folder that is there costs one question. Every
// failure is ignored (the file's open then says what is wrong).
void CreateFolderPath(const std::string& Path);

// The folders a run has made or found, so that the entries of one folder ask
// for it once. A folder removed meanwhile by another program is not noticed;
// the open of the file then fails as it would have.
class RunFolders {
public:
    void Make(const std::string& folder);

private:
    std::unordered_set<std::string> made_;  // FileNameKey of each folder path asked for
};

}  // namespace vt::launcher
