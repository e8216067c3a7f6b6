#include "config/text_lines.h"

namespace vt {

std::vector<std::string_view> TextLineViews(std::string_view text) {
    std::vector<std::string_view> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t end = text.find_first_of("\r\n", start);
        if (end == std::string_view::npos) {
            lines.push_back(text.substr(start));
            break;
        }
        lines.push_back(text.substr(start, end - start));
        start = end + 1;
        if (text[end] == '\r' && start < text.size() && text[start] == '\n') ++start;
    }
    return lines;
}

std::vector<std::string> SplitTextLines(std::string_view text) {
    const std::vector<std::string_view> views = TextLineViews(text);
    return std::vector<std::string>(views.begin(), views.end());
}

}  // namespace vt
