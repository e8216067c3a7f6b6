// The key file's text and file digests: the same on every system.
#include "tools/vtlist/signing.h"

#include <fstream>
#include <vector>

namespace vt::vtlist {

std::string FormatKeyFile(const KeyPair& key) {
    return "VTKEY 1\r\n" + launcher::ToHex(key.secret.data(), key.secret.size()) + "\r\n" +
           launcher::FormatPublicKey(key.point) + "\r\n";
}

std::optional<KeyPair> ParseKeyFile(std::string_view text) {
    constexpr std::string_view kHeading = "VTKEY 1\r\n";
    if (text.substr(0, kHeading.size()) != kHeading) return std::nullopt;
    text.remove_prefix(kHeading.size());
    KeyPair key;
    const std::size_t end = text.find("\r\n");
    if (end == std::string_view::npos || !launcher::FromHex(text.substr(0, end), key.secret.data(), key.secret.size()))
        return std::nullopt;
    text.remove_prefix(end + 2);
    const std::size_t end2 = text.find("\r\n");
    if (end2 == std::string_view::npos || end2 + 2 != text.size()) return std::nullopt;
    const auto point = launcher::ParsePublicKey(text.substr(0, end2));
    if (!point) return std::nullopt;
    key.point = *point;
    return key;
}

}  // namespace vt::vtlist
