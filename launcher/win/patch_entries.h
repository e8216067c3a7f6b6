// One entry of the patch list at a time: split and clean it, create its
// folders, show its progress text, decide by its stamp and the local file's
// last-write time, and fetch its file when needed.
//
// An entry whose LocalPath is absolute (a drive, a stream, UNC) or climbs with
// ".." above the folder that holds the launcher's folder fails like a malformed
// entry, before anything is written: a list must not reach outside the mod.
#pragma once

#include <cstdint>
#include <string>
#include <unordered_set>

#include "launcher/rules/date_value.h"
#include "launcher/win/run_context.h"

namespace vt::launcher {

// Thrown when a local file's times cannot be read: the run ends with the
// FILE ACCESS ERROR, which the window shows before it ends the program.
struct FileAccessFailure {
    std::string localFile;
};

class PatchEntryProcessor {
public:
    explicit PatchEntryProcessor(RunContext& context);

    // False stops the run with E4.
    bool ProcessPatchEntry(const std::string& Line, std::int32_t LineIndex);

    // True when the file must be fetched: "immer", or a readable stamp and a
    // file that is missing or older. An unreadable stamp is never fetched.
    bool NeedsDownload(const std::string& LocalFile, const std::string& Stamp);

    // LastWritten strictly earlier than ListDate. A file whose times cannot be
    // read throws FileAccessFailure.
    bool IsOlderThan(const std::string& LocalFile, DateValue ListDate);

private:
    // Each folder of the list once per run: what a stopped run left there goes.
    void RemoveLeftoversOnce(const std::string& LocalFile);

    RunContext& context_;
    std::unordered_set<std::string> checkedFolders_;
    int twoDigitYearMax_;   // the system's two-digit-year setting, read once per run
    std::string decision_;  // for the log: why NeedsDownload said what it said
};

}  // namespace vt::launcher
