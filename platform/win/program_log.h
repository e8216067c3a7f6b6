// A program's log (VT_Update.log, vtwd.log): what a player can send to the
// mod's support. Rewritten at each start, one timestamped line per event.
// Each line is handed to the system as it is written (one WriteFile, no
// buffer of our own), so a process that is killed or hangs leaves every line
// up to its last step: those are the lines a helper needs most. The system
// keeps them when the process dies; only a crash of the whole machine can
// lose the newest. Safe to use from several threads at once.
//
// Where it goes: beside the program. A game installed where the player cannot
// write (under Program Files, as older games often are) gets its log in the
// user's local application data folder, "%LOCALAPPDATA%\Vortane\", and the
// log's first line says why.
#pragma once

#include <mutex>
#include <string>
#include <string_view>

#include "platform/win/handles.h"

namespace vt::win {

class ProgramLog {
public:
    ProgramLog() = default;  // writes nothing
    // Creates `folder` & `fileName` anew; when that fails, the same name in
    // the local application data folder. A log that can be created nowhere
    // writes nothing.
    ProgramLog(const std::string& folder, const std::string& fileName);
    ProgramLog(const ProgramLog&) = delete;
    ProgramLog& operator=(const ProgramLog&) = delete;
    ~ProgramLog();

    // From now on every wait for a file another program held (held_file.h)
    // is a "HELD" line here: "HELD C:\x.txt: held by another program, waited
    // 1.2 s". Until this log is gone.
    void ReportHeldFiles();

    // "2026-12-07 10:15:02.431 STATUS Done."
    void Line(std::string_view kind, std::string_view text);

    const std::string& Path() const { return path_; }  // where it is written; empty when nowhere
    // Why it is not beside the program ("" when it is).
    const std::string& FallbackReason() const { return fallbackReason_; }

private:
    std::mutex mutex_;
    UniqueFileHandle file_;
    std::string path_;
    std::string fallbackReason_;
    bool reportsHeldFiles_ = false;
};

// "%LOCALAPPDATA%\Vortane\", created when missing; empty when there is none.
std::string LocalDataFolder();

}  // namespace vt::win
