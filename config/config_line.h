// One line of UPDATE.CFG split into its key part (up to and including the first
// "=") and its value (everything after it, untrimmed).
#pragma once

#include <string>
#include <string_view>

namespace vt {

struct ConfigLine {
    std::string Key;    // "WEBPATH=" style, "=" included; empty when the line has no "="
    std::string Value;  // unchanged: may be empty, hold blanks and further "="
};

ConfigLine SplitConfigLine(std::string_view line);

}  // namespace vt
