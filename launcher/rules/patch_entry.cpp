#include "launcher/rules/patch_entry.h"

#include <vector>

#include "config/number_text.h"
#include "platform/text.h"

namespace vt::launcher {
namespace {

std::string WithoutTabs(std::string_view field) {
    std::string result;
    for (char c : field)
        if (c != '\t') result += c;
    return result;
}

}  // namespace

std::optional<PatchEntry> SplitPatchEntry(std::string_view line) {
    const std::size_t first = line.find('|');
    if (first == std::string_view::npos) return std::nullopt;
    const std::size_t second = line.find('|', first + 1);
    if (second == std::string_view::npos || line.find('|', second + 1) != std::string_view::npos) return std::nullopt;

    PatchEntry entry;
    entry.RemotePath = WithoutTabs(line.substr(0, first));
    std::string local;
    for (char c : WithoutTabs(line.substr(first + 1, second - first - 1))) local += c == '/' ? '\\' : c;
    entry.UncLocalPath = StartsWith(local, "\\\\");
    // One left-to-right pass: three backslashes in a row become two.
    for (std::size_t i = 0; i < local.size(); ++i) {
        entry.LocalPath += local[i];
        if (local[i] == '\\' && i + 1 < local.size() && local[i + 1] == '\\') ++i;
    }
    entry.Stamp = WithoutTabs(line.substr(second + 1));
    return entry;
}

bool IsSafeLocalPath(const std::string& localPath) {
    if (localPath.find(':') != std::string::npos) return false;
    int depth = 0;  // 0 is AppDir; -1 the install root that holds it
    std::size_t start = 0;
    while (start <= localPath.size()) {
        std::size_t end = localPath.find('\\', start);
        if (end == std::string::npos) end = localPath.size();
        const std::string segment = localPath.substr(start, end - start);
        if (segment == "..") {
            if (--depth < -1) return false;
        } else if (!segment.empty() && segment != ".") {
            ++depth;
        }
        start = end + 1;
    }
    return true;
}

bool IsSafeEntry(const PatchEntry& entry) { return !entry.UncLocalPath && IsSafeLocalPath(entry.LocalPath); }

std::optional<std::string> EntryRefusal(const PatchEntry& entry) {
    if (const std::optional<std::string> problem = LocalNameProblem(entry.LocalPath))
        return *problem + ": " + entry.LocalPath;
    if (!IsSafeEntry(entry)) return "the local path leaves the mod's folders: " + entry.LocalPath;
    return std::nullopt;
}

namespace {

// The names of a "\"-separated path, empty ones included.
std::vector<std::string_view> NamesOf(std::string_view path) {
    std::vector<std::string_view> names;
    for (std::size_t start = 0;;) {
        const std::size_t end = path.find('\\', start);
        names.push_back(path.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start));
        if (end == std::string_view::npos) return names;
        start = end + 1;
    }
}

std::string_view WithoutTrailingDotsAndBlanks(std::string_view name) {
    if (name == "." || name == "..") return name;
    while (!name.empty() && (name.back() == '.' || name.back() == ' ')) name.remove_suffix(1);
    return name;
}

bool IsDeviceName(std::string_view name) {
    // The part before the first dot, its trailing blanks dropped, as Windows compares it.
    std::string_view base = name.substr(0, name.find('.'));
    while (!base.empty() && base.back() == ' ') base.remove_suffix(1);
    const std::string upper = ToAsciiUpper(std::string(base));
    if (upper == "CON" || upper == "PRN" || upper == "AUX" || upper == "NUL") return true;
    return upper.size() == 4 && (StartsWith(upper, "COM") || StartsWith(upper, "LPT")) && upper[3] >= '1' &&
           upper[3] <= '9';
}

}  // namespace

std::optional<std::string> LocalNameProblem(std::string_view localPath) {
    const std::vector<std::string_view> names = NamesOf(localPath);
    for (std::size_t i = 0; i < names.size(); ++i) {
        const std::string_view name = names[i];
        const bool drive = i == 0 && name.size() == 2 && name[1] == ':' &&
                           ((name[0] >= 'A' && name[0] <= 'Z') || (name[0] >= 'a' && name[0] <= 'z'));
        if (name.empty() || name == "." || name == ".." || drive) continue;
        const std::string quoted = "\"" + std::string(name) + "\"";
        for (const char c : name) {
            if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f)
                return "the name " + quoted + " holds a control character, which Windows does not allow in a name";
            if (std::string_view("<>:\"/|?*").find(c) != std::string_view::npos)
                return "the name " + quoted + " holds \"" + std::string(1, c) + "\", which Windows does not allow in a name";
        }
        if (WithoutTrailingDotsAndBlanks(name).empty())
            return "the name " + quoted + " is only dots and blanks, which Windows drops: no file can have it";
        if (IsDeviceName(name))
            return "the name " + quoted + " is a device on Windows (CON, PRN, AUX, NUL, COM1-9, LPT1-9, with any "
                   "extension): no file can have it";
    }
    return std::nullopt;
}

std::string ResolvedLocalPath(std::string_view localPath) {
    std::vector<std::string_view> kept;
    const std::vector<std::string_view> names = NamesOf(localPath);
    for (std::size_t i = 0; i < names.size(); ++i) {
        const std::string_view name = WithoutTrailingDotsAndBlanks(names[i]);
        const bool last = i + 1 == names.size();
        if (name == ".." && !kept.empty() && kept.back() != "..") kept.pop_back();
        else if (name == "..") kept.push_back(name);
        else if (!name.empty() && name != ".") kept.push_back(name);
        else if (last && !kept.empty()) kept.push_back({});  // "sub\" still names a folder: keep its backslash
    }
    std::string resolved;
    for (std::size_t i = 0; i < kept.size(); ++i) {
        if (i > 0) resolved += '\\';
        resolved += kept[i];
    }
    return resolved;
}

std::string WindowsNameKey(std::string_view localPath) { return FileNameUpper(ResolvedLocalPath(localPath)); }

std::string EntryFolderPath(const std::string& appDir, const std::string& localPath) {
    // The folders Windows reaches: "sub\..\x.txt" needs no folder "sub".
    const std::string folder = FolderOf(ResolvedLocalPath(localPath));
    return folder.empty() ? std::string() : appDir + folder;
}

std::string EntryStatusText(std::int32_t lineIndex) { return "DOWNLOADING File " + std::to_string(lineIndex) + " ..."; }

StampKind ClassifyStamp(const std::string& stamp, DateValue& date, int twoDigitYearMax) {
    const std::string word = ToAsciiLower(std::string(Trim(stamp, " ")));
    if (word == "immer") return StampKind::Always;
    return ParseListDate(word, date, twoDigitYearMax) ? StampKind::Date : StampKind::Unreadable;
}

bool ParseListDate(const std::string& text, DateValue& value, int twoDigitYearMax) {
    std::string rest(Trim(text, " "));
    std::string parts[5];
    for (int i = 0; i < 5; ++i) {
        if (i > 0) SkipNonDigits(rest);
        TakeDigits(rest, parts[i]);
    }
    int numbers[5];
    for (int i = 0; i < 5; ++i) {
        if (parts[i].empty()) return false;
        const std::optional<std::int16_t> n = ParseInt16(parts[i]);
        if (!n) return false;
        numbers[i] = *n;
    }
    const std::optional<DateValue> date = MakeDateValue(numbers[0], numbers[1], numbers[2], numbers[3], numbers[4], 0, twoDigitYearMax);
    if (!date) return false;
    value = *date;
    return true;
}

void TakeDigits(std::string& text, std::string& digits) {
    std::size_t n = 0;
    while (n < text.size() && text[n] >= '0' && text[n] <= '9') ++n;
    digits.append(text, 0, n);
    text.erase(0, n);
}

void SkipNonDigits(std::string& text) {
    std::size_t n = 0;
    while (n < text.size() && !(text[n] >= '0' && text[n] <= '9')) ++n;
    text.erase(0, n);
}

}  // namespace vt::launcher
