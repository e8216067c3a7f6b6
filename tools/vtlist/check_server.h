// `vtlist check`: the start page, the list and every file, fetched as the
// launcher would (no cache), with every problem a player would meet.
#pragma once

#include <string>
#include <vector>

#include "tools/vtlist/list_lint.h"

namespace vt::vtlist {

struct CheckOptions {
    std::string webPath;              // ends in "/"
    std::string page = "Index.html";
    std::string list = "update.dat";
    int jobs = 8;                     // file checks at a time
    bool progress = false;            // a progress line on stderr
};

struct CheckReport {
    std::vector<Problem> pageProblems;
    std::vector<Problem> listProblems;  // with the list's line numbers
    int filesChecked = 0;
};

CheckReport CheckServer(const CheckOptions& options, double now);

}  // namespace vt::vtlist
