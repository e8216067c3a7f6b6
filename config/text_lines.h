// The line rule shared by every text file the programs read (UPDATE.CFG, the
// patch list, the probe page): 8-bit text, a line ends at CR or at CR LF, a lone
// LF does not end a line, and the end marker is not part of the line.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace vt {

// Splits `text` into its lines. A final line without an end marker counts; an
// empty text has no lines. "a\r\rb" is three lines: "a", "" and "b".
std::vector<std::string> SplitTextLines(std::string_view text);

}  // namespace vt
