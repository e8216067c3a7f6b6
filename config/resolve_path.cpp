#include "config/resolve_path.h"

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
    std::string base = dirs[0];
    for (long long i = 1; i <= m - static_cast<long long>(climbs) - 1; ++i) base += "\\" + dirs[static_cast<std::size_t>(i)];

    value = base + tail;
}

}  // namespace vt
