// The clone folder's ownership. The starter removes only a clone it made: each
// clone gets a marker (kCloneMarkerName) the moment its folder is created,
// before anything is copied into it, and a folder at CLONEDIR= is removed only
// when it carries a marker that names that very folder on disk. A folder
// without one (a player's folder, another name for the game or data folder, a
// link) is never touched.
#pragma once

#include <string>

#include "config/settings.h"

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

// Removes an own clone with everything in it, its marker last, so that a
// removal cut short (a file in use) leaves a clone that the next start still
// recognises and removes. Does nothing to a folder that is not an own clone.
void RemoveOwnClone(const std::string& cloneDir);

}  // namespace vt::starter
