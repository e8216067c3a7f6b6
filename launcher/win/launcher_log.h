// VT_Update.log: what a player can send to the mod's support. Rewritten at each
// start; one timestamped line per status text, navigation, fetch, entry
// decision and ending. Lines are gathered in memory and written out before
// every fetch, at every ending and before the program ends, so a long list of
// up-to-date entries costs no write per line. Safe to use from the update
// run's thread and the window's at once.
#pragma once

#include <mutex>
#include <string>
#include <string_view>

#include "platform/win/handles.h"

namespace vt::launcher {

class LauncherLog {
public:
    LauncherLog() = default;                    // writes nothing
    explicit LauncherLog(const std::string& path);  // a log that cannot be created writes nothing

    // "2026-12-07 10:15:02.431 STATUS Done."
    void Line(std::string_view kind, std::string_view text);
    void Flush();

private:
    void FlushLocked();

    std::mutex mutex_;
    win::UniqueFileHandle file_;
    std::string pending_;
};

}  // namespace vt::launcher
