// One launcher per folder. Two launchers in one folder share its
// delete_me.txt, NEWUPDATE.TXT, partial files and trust record, and the
// second used to make the first end with [E4] (a double click, or a desktop
// and a Start menu link). So the first launcher of a folder holds a lock
// named after the folder's identity on disk (volume and file index, as the
// starter keys its clone: no spelling of the path, 8.3 names or links make
// two folders of one); a second one brings the running launcher's window to
// the front and ends at once, before it writes a file, a log line or a
// record. Launchers in different folders (two mods, two installs) run side
// by side. A folder whose identity cannot be read runs without the lock, as
// before.
//
// Bringing another process's window to the front: Windows lets a process
// take the foreground only when it is the foreground process, was started by
// it, or was given the right (AllowSetForegroundWindow, which the giver may
// call only while it has the right itself). The second launcher was just
// started by the player, so it holds that right and calls SetForegroundWindow
// on the first launcher's window itself; nothing has to pass it on. Where
// Windows refuses (the player switched to another program meanwhile), the
// window's taskbar button flashes instead and nothing fails: the second
// launcher ends all the same.
#pragma once

#include <windows.h>

#include <optional>
#include <string>

#include "platform/win/file_identity.h"
#include "platform/win/named_lock.h"

namespace vt::launcher {

class OneLauncherPerFolder {
public:
    explicit OneLauncherPerFolder(const std::string& folder);

    // True when this is the folder's only launcher (or the folder has no
    // identity to key on): the launcher runs.
    bool First() const { return !lock_ || lock_->Held(); }

    // The running launcher's window (class `windowClass`) to the front,
    // waiting up to `waitMs` for it to appear (it may be starting just now).
    // False when none was found in time.
    bool ShowRunning(const wchar_t* windowClass, DWORD waitMs) const;

private:
    std::optional<win::FileIdentity> identity_;
    std::optional<win::NamedLock> lock_;
};

}  // namespace vt::launcher
