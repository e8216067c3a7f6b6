#include "starter/start_rules.h"

#include <vector>

namespace vt::starter {
namespace {

char Upper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }
char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

std::string_view TrimBlanks(std::string_view text) {
    while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
    while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
    return text;
}

}  // namespace

std::optional<bool> ParseSingleMode(std::string_view argumentText) {
    std::string word;
    for (char c : TrimBlanks(argumentText)) word += Upper(c);
    if (word == "SINGLE") return true;
    if (word == "MULTI") return false;
    return std::nullopt;
}

bool IsBackupFile(std::string_view fileName) {
    const std::size_t dot = fileName.find_last_of('.');
    const std::string_view extension = dot == std::string_view::npos ? fileName : fileName.substr(dot + 1);
    std::string lower;
    for (char c : extension) lower += Lower(c);
    return lower == "srmmbak";
}

std::string BuildGameCommandLine(const std::string& command, const std::string& parameter) {
    return "\"" + command + "\" " + parameter;
}

std::string FolderOf(const std::string& path) {
    const std::size_t slash = path.find_last_of('\\');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

std::string ComparablePath(const std::string& path) {
    std::string unified;
    for (char c : path) unified += c == '/' ? '\\' : Lower(c);
    const bool unc = unified.rfind("\\\\", 0) == 0;

    std::vector<std::string> segments;
    std::string current;
    auto flush = [&] {
        if (current == "..") {
            if (segments.size() > 1) segments.pop_back();  // never above the drive or share
        } else if (!current.empty() && current != ".") {
            segments.push_back(current);
        }
        current.clear();
    };
    for (char c : unified) {
        if (c == '\\') flush();
        else current += c;
    }
    flush();

    std::string result = unc ? "\\\\" : "";
    for (std::size_t i = 0; i < segments.size(); ++i) {
        if (i) result += '\\';
        result += segments[i];
    }
    return result;
}

bool IsSameOrInside(const std::string& inner, const std::string& outer) {
    const std::string in = ComparablePath(inner);
    const std::string out = ComparablePath(outer);
    if (out.empty()) return false;
    return in == out || (in.size() > out.size() && in.compare(0, out.size(), out) == 0 && in[out.size()] == '\\');
}

bool IsRootOrEmpty(const std::string& path) {
    const std::string p = ComparablePath(path);
    if (p.empty()) return true;
    if (p.rfind("\\\\", 0) == 0) return p.find('\\', p.find('\\', 2) + 1) == std::string::npos;  // \\server\share
    return p.find('\\') == std::string::npos;  // "c:" alone
}

std::string CloneDirRefusal(const std::string& cloneDir, const std::string& copyDir, const std::string& appDir) {
    if (IsRootOrEmpty(cloneDir)) return "it is a drive root or empty";
    if (IsSameOrInside(copyDir, cloneDir)) return "it is or holds the game folder " + copyDir;
    if (IsSameOrInside(appDir, cloneDir)) return "it is or holds the starter's own folder " + appDir;
    return {};
}

}  // namespace vt::starter
