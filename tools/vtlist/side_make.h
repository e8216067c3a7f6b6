// The side file of a patch list: the list's own size and SHA-256, each
// entry's file (found below the release folder by its server path), whether
// the launcher may repair it, and, with a key, the signature over all of it.
// Entries are numbered as the launcher counts them (1 for the line after the
// heading), so a hand-written list can be hashed as it is.
#pragma once

#include <string>
#include <vector>

#include "tools/vtlist/signing.h"

namespace vt::vtlist {

struct SideOptions {
    std::vector<std::string> keepGlobs;      // not repaired by the launcher
    std::vector<std::string> unhashedGlobs;  // no line: the date rule alone
};

// The side file's text for `list` (its bytes as they will be served), or
// empty with `problems` naming what could not be hashed (a file missing
// below `releaseRoot`, a malformed entry). Globs match the server path.
std::string MakeSideFile(const std::string& list, const std::string& releaseRoot, const SideOptions& options,
                         const KeyPair* key, std::vector<std::string>& problems);

// "<list>.vtsums" beside the list file.
std::string SideFilePathFor(const std::string& listPath);

}  // namespace vt::vtlist
