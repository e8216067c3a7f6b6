// AppDir: the running program's folder with one trailing backslash, the base of
// every relative file name both programs use (plain concatenation, no
// normalisation).
#pragma once

#include <string>
#include <string_view>

namespace vt {

// `folder` is the program's folder as the system reports it ("C:\Games\VT" or a
// drive root "C:\"). One backslash is appended, then every pair of backslashes
// becomes one, in one left-to-right pass; so a drive root stays "C:\".
//
// A UNC folder ("\\server\share\VT") keeps its leading pair: collapsing it would
// turn a network install into a path relative to the current drive.
std::string MakeAppDir(std::string_view folder);

}  // namespace vt
