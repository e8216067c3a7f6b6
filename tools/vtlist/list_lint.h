// The checks of `vtlist lint` and `vtlist check`: everything in a patch list
// or a start page that makes every player's update do nothing, fail or skip a
// file. The launcher's own rules decide (line rule, field split, stamp
// reading, local-path check); these checks only say what they will do.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "launcher/rules/date_value.h"

namespace vt::vtlist {

enum class Severity { Warning, Error };  // Error: a player sees an error, or a file is never fetched

struct Problem {
    int line = 0;  // 1 is the header; 0 for the file as a whole
    Severity severity = Severity::Error;
    std::string text;
};

// An entry the checks found well-formed, for the file checks of `check`.
struct CheckedEntry {
    int line;
    std::string remotePath;  // as the launcher appends it to WEBPATH= ("\" between folders)
};

struct ListReport {
    std::vector<Problem> problems;
    std::vector<CheckedEntry> entries;
};

// `now`: the present moment as a DateValue (local time), for stamps in the future.
// `keepEntries`: fill ListReport::entries (check fetches them; lint does not).
// Memory: the list's bytes, a view of each line and a 64-bit key of each
// local path (a list of 2,000,000 entries within the launcher's 64 MiB cap
// takes a few times its size, not its size per entry).
ListReport LintPatchList(std::string_view bytes, launcher::DateValue now, bool keepEntries = true);

// The start page: the marker at the very start, no byte-order mark before it.
std::vector<Problem> LintStartPage(std::string_view bytes);

int CountErrors(const std::vector<Problem>& problems);

}  // namespace vt::vtlist
