// A patch list's server path as it goes into a URL, by one rule for the
// launcher and `vtlist check` alike (RFC 3986): "\" becomes "/" (the list has
// had every "/" turned into "\"), "/" separates segments, the characters a
// path segment may carry as they are (letters, digits, "-._~", "!$&'()*+,;=",
// ":", "@"), and every other byte, the UTF-8 bytes of a non-ASCII name among
// them, as "%XX": a space is "%20", "forêt" is "for%C3%AAt".
//
// Two exceptions keep lists that worked before working: "?" is kept (a
// query after the path, as such lists meant it), and a "%" followed by two
// hex digits is kept (a name the publisher already encoded). A "%" without
// them is "%25".
#pragma once

#include <string>
#include <string_view>

namespace vt::launcher {

std::string EncodeUrlPath(std::string_view remotePath);

}  // namespace vt::launcher
