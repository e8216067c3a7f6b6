#include "config/resolve_path.h"
#include "platform/text.h"

#include <algorithm>
#include <vector>

namespace vt {
namespace {

std::vector<std::string> SplitAtBackslash(const std::string& text) {
    std::vector<std::string> parts(1);
    for (char c : text) {
        if (c == '\\') parts.emplace_back();
        else parts.back() += c;
    }
    return parts;
}

}  // namespace

void ResolveRelativePath(const std::string& appDir, std::string& value) {
    const std::vector<std::string> segments = SplitAtBackslash(value);
    std::size_t climbs = 0;
    while (climbs < segments.size() && segments[climbs] == "..") ++climbs;

    std::string tail;
    for (std::size_t i = climbs; i < segments.size(); ++i) tail += "\\" + segments[i];

    // AppDir ends in a backslash, so its last segment is empty: m = size - 1.
    const std::vector<std::string> dirs = SplitAtBackslash(appDir);
    const long long m = static_cast<long long>(dirs.size()) - 1;
    // The root that climbing never leaves: the drive ("C:", segment 0), or for
    // an install on a network share "\\server\share" (segments 0 to 3; the
    // first two are the empty ones before "server"). Without this floor
    // "..\..\..\..\EXE\" from "\\server\share\VT\" named "\\EXE\", a server.
    const bool unc = StartsWith(appDir, "\\\\") && m >= 4;
    const long long rootLast = unc ? 3 : 0;
    const long long last = std::max(rootLast, m - static_cast<long long>(climbs) - 1);
    std::string base = dirs[0];
    for (long long i = 1; i <= last; ++i) base += "\\" + dirs[static_cast<std::size_t>(i)];

    value = base + tail;
}

}  // namespace vt
