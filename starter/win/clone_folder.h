// The clone folder's ownership. The starter removes only a clone it made: each
// clone gets a marker (kCloneMarkerName) the moment its folder is created,
// before anything is copied into it, and a folder at CLONEDIR= is removed only
// when it carries a marker that names that very folder on disk. A folder
// without one (a player's folder, another name for the game or data folder, a
// link) is never touched.
#pragma once

#include <string>

#include "config/settings.h"
#include "platform/win/handles.h"
#include "starter/win/folder_tree.h"

namespace vt::starter {

// Why CLONEDIR= must not be used, or empty when it may. Judged on disk, so
// that no spelling (case, "/", trailing dots and blanks, 8.3 names, "..",
// links) can disguise a folder: it is a root, a link, a file, a folder the
// starter did not make, or it is or holds one of the folders the start needs
// (the game folder COPYDIR=, the starter's own, and the folders holding
// EXENAME=, EXENAME2= and the new launcher file).
std::string CloneDirRefusal(const StarterSettings& settings);

// True when `cloneDir` is a folder that carries this starter's marker for it.
bool IsOwnClone(const std::string& cloneDir);

// Creates the folder `cloneDir` (one level) and marks it. False, with the
// folder removed again if this call made it, when it cannot be marked.
bool MakeOwnClone(const std::string& cloneDir);

// Notes in an own clone's marker every entry the copy creates, by identity.
// The marker is held open for appending while the recorder lives; the lines
// are not flushed one by one (a killed start loses none of them; a power cut
// may, and then the entries stay, as anything unknown does).
class CloneRecorder : public CopyRecorder {
public:
    explicit CloneRecorder(const std::string& cloneDir);
    // Throws a Failure when the entry cannot be noted: an entry the removal
    // would not know must not be made.
    void Created(const std::string& path) override;

private:
    win::UniqueFileHandle marker_;
    std::string markerPath_;
};

// Removes what the starter made in an own clone: every entry noted in its
// marker, then the folders left empty, the marker last, so that a removal cut
// short (a file in use, something the starter did not make) leaves a clone
// that the next start still recognises. Does nothing to a folder that is not
// an own clone.
void RemoveOwnClone(const std::string& cloneDir);

}  // namespace vt::starter
