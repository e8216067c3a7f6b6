#include "launcher/rules/url_path.h"

namespace vt::launcher {
namespace {

bool IsHex(char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }

bool KeptAsItIs(char c) {
    if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')) return true;
    switch (c) {
        case '-': case '.': case '_': case '~':                      // unreserved
        case '!': case '$': case '&': case '\'': case '(': case ')':  // sub-delims
        case '*': case '+': case ',': case ';': case '=':
        case ':': case '@': case '/': case '?':
            return true;
        default:
            return false;
    }
}

}  // namespace

std::string EncodeUrlPath(std::string_view remotePath) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string url;
    url.reserve(remotePath.size());
    for (std::size_t i = 0; i < remotePath.size(); ++i) {
        const char c = remotePath[i] == '\\' ? '/' : remotePath[i];
        if (KeptAsItIs(c) ||
            (c == '%' && i + 2 < remotePath.size() && IsHex(remotePath[i + 1]) && IsHex(remotePath[i + 2]))) {
            url += c;
            continue;
        }
        const auto byte = static_cast<unsigned char>(c);
        url += '%';
        url += kHex[byte >> 4];
        url += kHex[byte & 15];
    }
    return url;
}

}  // namespace vt::launcher
