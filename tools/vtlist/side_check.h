// The checks of a side file against its list, for `vtlist lint` (a local
// list) and `vtlist check` (a live server): what a launcher would refuse.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "launcher/rules/side_file.h"
#include "tools/vtlist/list_lint.h"

namespace vt::vtlist {

struct SideReport {
    std::vector<Problem> problems;            // line 0: the side file as a whole
    std::optional<launcher::SideFile> sums;   // when it reads
};

// `publicKey`: the key the launchers hold (PUBLICKEY=); without it a
// signature is not checked.
SideReport CheckSideFile(const std::string& list, const std::string& sideText,
                         const std::optional<launcher::PublicKey>& publicKey);

}  // namespace vt::vtlist
