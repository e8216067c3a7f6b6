// `vtlist check`: the start page, the list and every file, fetched as the
// launcher would (no cache), with every problem a player would meet. Files
// the side file vouches for are checked on each mirror too, and their block
// indexes where the side file names them.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "launcher/rules/side_file.h"
#include "tools/vtlist/list_lint.h"

namespace vt::vtlist {

struct CheckOptions {
    std::string webPath;              // ends in "/"
    std::string page = "Index.html";
    std::string list = "update.dat";
    int jobs = 8;                     // file checks at a time
    bool progress = false;            // a progress line on stderr
    std::optional<launcher::PublicKey> publicKey;  // the launchers' PUBLICKEY=: the signature must hold
    std::string caFile;               // natively: a certificate authority to trust besides the system's
    std::vector<std::string> mirrors; // the launchers' MIRRORS=: each must serve every hashed file as released
};

struct CheckReport {
    std::vector<Problem> pageProblems;
    std::vector<Problem> listProblems;  // with the list's line numbers
    std::vector<Problem> sideProblems;  // the side file's, when there is one (or must be)
    bool sideFile = false;              // the server has one
    int filesChecked = 0;
    int filesHashed = 0;                // fetched whole and compared with the side file
};

CheckReport CheckServer(const CheckOptions& options, double now);

}  // namespace vt::vtlist
