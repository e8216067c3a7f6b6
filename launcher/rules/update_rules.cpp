#include "launcher/rules/update_rules.h"

#include <limits>

#include "config/number_text.h"
#include "platform/text.h"

namespace vt::launcher {

bool BeginsWithLauncherMarker(const std::vector<std::string>& pageLines) {
    const std::string marker = kLauncherMarker;
    std::string start;  // only the first marker-length characters matter
    for (const std::string& line : pageLines) {
        start += line;
        start += "\r\n";
        if (start.size() >= marker.size()) break;
    }
    if (start.size() < marker.size()) return false;
    for (std::size_t i = 0; i < marker.size(); ++i)
        if (AsciiUpper(start[i]) != AsciiUpper(marker[i])) return false;
    return true;
}

std::string PageBeginningForLog(std::string_view page) {
    constexpr std::size_t kShown = 40;
    std::string text = "\"";
    for (const char c : page.substr(0, kShown)) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte >= 0x20 && byte < 0x7F && c != '\\' && c != '"') {
            text += c;
        } else {
            static constexpr char kHex[] = "0123456789ABCDEF";
            text += "\\x";
            text += kHex[byte >> 4];
            text += kHex[byte & 15];
        }
    }
    text += page.size() > kShown ? "\"..." : "\"";
    return page.empty() ? "nothing (an empty page)" : text;
}

std::vector<std::string> PatchListEntries(std::vector<std::string> listLines) {
    if (listLines.empty()) return {};
    listLines.erase(listLines.begin());
    for (std::string& line : listLines)
        for (char& c : line)
            if (c == '/') c = '\\';
    return listLines;
}

int FetchesAtOnce(const std::string& maxDownloads) {
    const std::optional<std::int64_t> count = ParseWholeNumber(maxDownloads, -1000000, 1000000);
    if (!count) return kDefaultFetchesAtOnce;
    if (*count < 1) return 1;
    return *count > kMostFetchesAtOnce ? kMostFetchesAtOnce : static_cast<int>(*count);
}

std::int16_t GetTimeoutTicks(const std::string& timeout) {
    const std::optional<std::int16_t> minutes = ParseInt16(timeout);
    if (!minutes) return 6;
    const int doubled = 2 * *minutes;
    if (doubled < std::numeric_limits<std::int16_t>::min() || doubled > std::numeric_limits<std::int16_t>::max())
        return 6;
    return static_cast<std::int16_t>(doubled);
}

std::int16_t LowerTicksLeft(std::int16_t ticksLeft) {
    return ticksLeft == std::numeric_limits<std::int16_t>::min() ? ticksLeft : static_cast<std::int16_t>(ticksLeft - 1);
}

const char* EndingStatusText(RunEnding ending) {
    switch (ending) {
        case RunEnding::Done: return "Done.";
        case RunEnding::E1: return "Vortane Update not found ... only Singleplayer available [E1]";
        case RunEnding::E2: return "Vortane Update not found ... only Singleplayer available [E2]";
        case RunEnding::E4: return "Vortane Update not found ... only Singleplayer available [E4]";
        case RunEnding::E11: return "Vortane Update not found ... only Singleplayer available [E11]";
        case RunEnding::E12: return "Vortane Update not found ... only Singleplayer available [E12]";
    }
    return "";
}

const char* EndingName(RunEnding ending) {
    switch (ending) {
        case RunEnding::Done: return "Done";
        case RunEnding::E1: return "E1";
        case RunEnding::E2: return "E2";
        case RunEnding::E4: return "E4";
        case RunEnding::E11: return "E11";
        case RunEnding::E12: return "E12";
    }
    return "";
}

std::string StarterCommandLine(const std::string& appDir, const std::string& watchdog, bool multiplayer) {
    return "\"" + appDir + watchdog + "\" " + (multiplayer ? "MULTI" : "SINGLE");
}

const char* LaunchProblemText(bool multiplayer) {
    return multiplayer ? "Problem starting Skyreach ... [E9]" : "Problem starting Skyreach ... [E10]";
}

}  // namespace vt::launcher
