#include "starter/start_rules.h"

#include <cstdio>
#include <vector>

#include "platform/text.h"

namespace vt::starter {

std::optional<bool> ParseSingleMode(std::string_view argumentText) {
    std::string word;
    for (char c : Trim(argumentText, " ")) word += AsciiUpper(c);
    if (word == "SINGLE") return true;
    if (word == "MULTI") return false;
    return std::nullopt;
}

bool IsBackupFile(std::string_view fileName) {
    const std::size_t dot = fileName.find_last_of('.');
    const std::string_view extension = dot == std::string_view::npos ? fileName : fileName.substr(dot + 1);
    std::string lower;
    for (char c : extension) lower += AsciiLower(c);
    return lower == "srmmbak";
}

std::string BuildGameCommandLine(const std::string& command, const std::string& parameter) {
    return "\"" + command + "\" " + parameter;
}

bool IsRootOrEmpty(const std::string& path) {
    // Spelled out: "/" as "\", no empty, "." or ".." segments (".." climbs),
    // then a root is one segment ("C:") or two after "\\" (server, share).
    std::vector<std::string> segments;
    std::string current;
    auto flush = [&] {
        if (current == "..") {
            if (segments.size() > 1) segments.pop_back();
        } else if (!current.empty() && current != ".") {
            segments.push_back(current);
        }
        current.clear();
    };
    for (char c : path) {
        if (c == '\\' || c == '/') flush();
        else current += c;
    }
    flush();
    const bool unc = path.size() >= 2 && (path[0] == '\\' || path[0] == '/') && (path[1] == '\\' || path[1] == '/');
    return segments.size() <= (unc ? 2u : 1u);
}

std::string SrNameRefusal(const std::string& srName) {
    if (srName.find_first_of("\\/:") != std::string::npos) return "it must be a file name alone, without \"\\\", \"/\" or \":\"";
    if (srName.find("..") != std::string::npos) return "it must not hold \"..\"";
    if (Trim(srName, " ").empty()) return "it is empty";
    return {};
}

std::uint32_t EffectiveDelayMs(std::int32_t delayMs) {
    if (delayMs <= 0) return 0;
    return static_cast<std::uint32_t>(delayMs > kMaxDelayMs ? kMaxDelayMs : delayMs);
}

namespace {

// Upper-case hexadecimal digits only (the one form the starter writes).
bool UpperHex(std::string_view digits, std::uint64_t& value) {
    value = 0;
    for (const char c : digits) {
        int d;
        if (c >= '0' && c <= '9') d = c - '0';
        else if (c >= 'A' && c <= 'F') d = c - 'A' + 10;
        else return false;
        value = value * 16 + static_cast<std::uint64_t>(d);
    }
    return true;
}

}  // namespace

std::string CloneMarkerText(const CloneMarker& marker) {
    char text[96];
    std::snprintf(text, sizeof text, "vtwd.exe clone 1\r\nvolume=%08X\r\nindex=%016llX\r\n", marker.volume,
                  static_cast<unsigned long long>(marker.index));
    return text;
}

std::optional<CloneMarker> ParseCloneMarker(std::string_view text) {
    // Exactly the form CloneMarkerText writes: a fixed first line, then the
    // two values in upper-case hexadecimal with their full width.
    constexpr std::string_view head = "vtwd.exe clone 1\r\nvolume=";
    if (text.size() != head.size() + 8 + 8 + 16 + 2 || text.substr(0, head.size()) != head) return std::nullopt;
    std::string_view rest = text.substr(head.size());
    std::uint64_t volume = 0, index = 0;
    if (!UpperHex(rest.substr(0, 8), volume) || rest.substr(8, 8) != "\r\nindex=" || !UpperHex(rest.substr(16, 16), index) ||
        rest.substr(32) != "\r\n")
        return std::nullopt;
    return CloneMarker{static_cast<std::uint32_t>(volume), index};
}

}  // namespace vt::starter

namespace vt::starter {

std::string OwnedEntryLine(const CloneMarker& entry) {
    char text[48];
    std::snprintf(text, sizeof text, "owned %08X %016llX\r\n", entry.volume, static_cast<unsigned long long>(entry.index));
    return text;
}

std::optional<CloneRecord> ParseCloneRecord(std::string_view text) {
    const std::size_t headSize = CloneMarkerText(CloneMarker{}).size();
    const std::optional<CloneMarker> folder = ParseCloneMarker(text.substr(0, headSize));
    if (!folder) return std::nullopt;
    CloneRecord record{*folder, {}};
    // "owned VVVVVVVV IIIIIIIIIIIIIIII\r\n": 33 bytes.
    constexpr std::size_t kLine = 6 + 8 + 1 + 16 + 2;
    for (std::string_view rest = text.substr(headSize); rest.size() >= kLine; rest.remove_prefix(kLine)) {
        std::uint64_t volume = 0, index = 0;
        if (rest.substr(0, 6) != "owned " || !UpperHex(rest.substr(6, 8), volume) || rest[14] != ' ' ||
            !UpperHex(rest.substr(15, 16), index) || rest.substr(31, 2) != "\r\n")
            return std::nullopt;
        record.owned.push_back(CloneMarker{static_cast<std::uint32_t>(volume), index});
    }
    return record;  // a last line shorter than a whole one was cut by a killed start
}

}  // namespace vt::starter
