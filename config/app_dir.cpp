#include "config/app_dir.h"

namespace vt {

std::string MakeAppDir(std::string_view folder) {
    std::string joined(folder);
    joined += '\\';

    std::string result;
    std::size_t i = 0;
    if (joined.size() > 2 && joined[0] == '\\' && joined[1] == '\\' && joined[2] != '\\') {
        result = "\\\\";
        i = 2;
    }
    for (; i < joined.size(); ++i) {
        result += joined[i];
        if (joined[i] == '\\' && i + 1 < joined.size() && joined[i + 1] == '\\') ++i;
    }
    return result;
}

}  // namespace vt
