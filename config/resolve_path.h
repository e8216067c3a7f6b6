// The starter's rule for its folder and file settings: every value is relative
// to AppDir; leading ".." segments climb one folder each, never above the drive
// (or, for an AppDir on a network share, never above "\\server\share").
// There is no absolute form: "D:\Other\" resolves below AppDir.
#pragma once

#include <string>

namespace vt {

// Replaces `value` by its full path. `appDir` ends in a backslash. A trailing
// backslash of `value` is kept, and none is added.
void ResolveRelativePath(const std::string& appDir, std::string& value);

}  // namespace vt
