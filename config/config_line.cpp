#include "config/config_line.h"

namespace vt {

ConfigLine SplitConfigLine(std::string_view line) {
    const std::size_t eq = line.find('=');
    if (eq == std::string_view::npos) return {};
    return {std::string(line.substr(0, eq + 1)), std::string(line.substr(eq + 1))};
}

}  // namespace vt
