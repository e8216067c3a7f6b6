// What stopped runs left in a folder: partial files and their records.
#pragma once

#include <string>
#include <vector>

namespace vt::launcher {

struct LeftoverSweep {
    int removed = 0;  // partial files (and stray records) removed
    int kept = 0;     // partial files kept because a later fetch may continue them
    std::vector<std::string> keptTargets;  // the files they belong to, folder included
};

// Looks once through `folder` (ending in a backslash) for what stopped runs
// left: partial files without a usable record go, and with `keepResumable`
// false all of them. Two listings of the folder (its "*.vtpart" and its
// "*.vtresume" names), however many entries it has: under Wine, asking for
// one missing name costs a scan of the whole folder, so a question per entry
// would make a long list quadratic.
LeftoverSweep RemoveLeftoverParts(const std::string& folder, bool keepResumable = true);

}  // namespace vt::launcher
