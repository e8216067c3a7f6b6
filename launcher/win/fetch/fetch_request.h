// What one fetch is asked to do: the pool's, the partial file's and the
// sources' common word for a request.
#pragma once

#include <cstdint>
#include <string>

#include "launcher/rules/mirror_set.h"
#include "launcher/rules/side_file.h"
#include "launcher/win/fetch/internet_transfer.h"

namespace vt::launcher {

struct FetchRequest {
    std::string url;
    std::string localFile;                // the target: replaced only by a complete, good body
    std::uint64_t maxBytes = kNoBodyCap;  // the most its body may be
    bool leftBehind = false;              // the folder's sweep kept a partial file of it (RemoveLeftoverParts)
    const SideEntry* expected = nullptr;  // the side file's size and SHA-256 the body must have (owned by the run)
    bool noCache = false;                 // asked with "Cache-Control: no-cache": caches on the way must ask the server
    // Where else the body may come from (mirror_set.h): with `mirrors` and
    // `expected`, `remotePath` (URL-encoded) is appended to each source's base.
    MirrorSet* mirrors = nullptr;
    std::string remotePath = {};
};

}  // namespace vt::launcher
