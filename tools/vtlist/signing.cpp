// The key file's text and file digests: the same on every system.
#include "tools/vtlist/signing.h"
#include "tools/vtlist/file_path.h"

#include "launcher/rules/p256_point.h"

#include <fstream>
#include <cctype>
#include <sstream>
#include <vector>

namespace vt::vtlist {

std::string FormatKeyFile(const KeyPair& key) {
    return "VTKEY 1\r\n" + vt::ToHex(key.secret.data(), key.secret.size()) + "\r\n" +
           launcher::FormatPublicKey(key.point) + "\r\n";
}

std::optional<KeyPair> ParseKeyFile(std::string_view text) {
    constexpr std::string_view kHeading = "VTKEY 1\r\n";
    if (text.substr(0, kHeading.size()) != kHeading) return std::nullopt;
    text.remove_prefix(kHeading.size());
    KeyPair key;
    const std::size_t end = text.find("\r\n");
    if (end == std::string_view::npos || !vt::FromHex(text.substr(0, end), key.secret.data(), key.secret.size()))
        return std::nullopt;
    text.remove_prefix(end + 2);
    const std::size_t end2 = text.find("\r\n");
    if (end2 == std::string_view::npos || end2 + 2 != text.size()) return std::nullopt;
    const auto point = launcher::ParsePublicKey(text.substr(0, end2));
    if (!point) return std::nullopt;
    key.point = *point;
    return key;
}

std::optional<launcher::PublicKey> PublicKeyFromArgument(const std::string& argument, std::string& why) {
    std::string text = argument;
    while (!text.empty() && (text.back() == ' ' || text.back() == '\r' || text.back() == '\n' || text.back() == '\t'))
        text.pop_back();
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.erase(0, 1);
    constexpr std::string_view kLine = "PUBLICKEY=";
    if (text.compare(0, kLine.size(), kLine) == 0) text.erase(0, kLine.size());
    std::optional<launcher::PublicKey> key = launcher::ParsePublicKey(text);
    if (!key) {
        bool allHex = !text.empty();
        for (const char c : text) allHex = allHex && std::isxdigit(static_cast<unsigned char>(c));
        if (allHex) {
            why = "the key has " + std::to_string(text.size()) + " hex digits, a PUBLICKEY= value has 128 (cut when copied?)";
            return std::nullopt;
        }
        std::ifstream in(FsPath(argument), std::ios::binary);
        if (!in) {
            why = "\"" + argument + "\" is neither 128 hex digits, nor a PUBLICKEY= line, nor a file that can be read";
            return std::nullopt;
        }
        std::ostringstream bytes;
        bytes << in.rdbuf();
        const std::optional<KeyPair> pair = ParseKeyFile(bytes.str());
        if (!pair) {
            why = argument + " is not a key file written by vtlist keygen";
            return std::nullopt;
        }
        key = pair->point;
    }
    if (!launcher::IsP256Point(*key)) {
        why = "those 128 hex digits are not a valid key (not a point of the P-256 curve): copy the line keygen printed again";
        return std::nullopt;
    }
    return key;
}

}  // namespace vt::vtlist
