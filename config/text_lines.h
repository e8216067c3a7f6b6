// The line rule shared by every text file the programs read (UPDATE.CFG, the
// patch list, the probe page): 8-bit text; a line ends at CR LF, at CR or at
// LF, and the end marker is not part of the line.
//
// The rule the programs began with ended a line only at CR or CR LF, so a
// file saved by a Linux editor (LF only) was one long line: an UPDATE.CFG
// lost every key after its first (PUBLICKEY= among them, which silently
// turned signature checking off) and an LF-only patch list ended "Done."
// with nothing fetched. Every file with CR LF or CR line ends reads exactly
// as before.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace vt {

// Splits `text` into its lines. A final line without an end marker counts; an
// empty text has no lines. CR LF is one end; "a\r\rb" and "a\n\nb" are three
// lines: "a", "" and "b"; so is "a\n\rb" (LF, then CR: two ends).
std::vector<std::string> SplitTextLines(std::string_view text);
// The same lines as views into `text` (which must outlive them): a list of
// millions of lines read without a copy of each.
std::vector<std::string_view> TextLineViews(std::string_view text);

}  // namespace vt
