// The files below a release folder with their last-write times in local time.
#pragma once

#include <string>
#include <vector>

#include "tools/vtlist/list_make.h"

namespace vt::vtlist {

// What a scan leaves out, whatever globs say: a file players must never get
// or that is no part of the release.
//   - vtlist key files (known by their first line, whatever their name) and
//     key-change statements (".vtrotate"): a listed private key is every
//     player's to download;
//   - version-control folders (.git, .svn, .hg) and what is below them;
//   - `outputs`: the list being written and its side file, compared by what
//     they are on disk, not by their names;
//   - links to folders (not followed), links to files outside the release
//     folder (a web server would serve what they lead to), links that lead
//     nowhere, and what is no plain file (a pipe, a socket, a device).
// A name no Windows file can have is listed by its name alone, never opened
// (on Windows "COM1" is a port), for MakePatchList to refuse.
// Each is named in `leftOut`, with why.
struct ScanResult {
    std::vector<ReleaseFile> files;
    std::vector<std::string> leftOut;  // "publisher.key (a vtlist key file)"
};

// Throws std::runtime_error naming the folder when it cannot be read.
ScanResult ScanReleaseFolder(const std::string& folder, const std::vector<std::string>& outputs = {});

// The present moment in local time as a DateValue.
double NowAsDateValue();

}  // namespace vt::vtlist
