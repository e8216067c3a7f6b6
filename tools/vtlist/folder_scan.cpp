#include "tools/vtlist/folder_scan.h"
#include "tools/vtlist/file_path.h"

#include <algorithm>
#include <chrono>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string_view>
#include <vector>

#include "launcher/rules/date_value.h"
#include "launcher/rules/patch_entry.h"

namespace vt::vtlist {
namespace {

#ifdef _WIN32
constexpr char kSeparator = '\\';
#else
constexpr char kSeparator = '/';
#endif

std::tm LocalTime(std::time_t t) {
    std::tm parts{};
#ifdef _WIN32
    localtime_s(&parts, &t);
#else
    localtime_r(&t, &parts);
#endif
    return parts;
}

// A key file by its first line, whatever its name.
bool IsKeyFile(const std::filesystem::path& path) {
    constexpr std::string_view kKeyHeading = "VTKEY 1\r\n";
    char head[kKeyHeading.size()] = {};
    std::ifstream in(path, std::ios::binary);
    in.read(head, static_cast<std::streamsize>(sizeof head));
    return in.gcount() == static_cast<std::streamsize>(sizeof head) && std::string_view(head, sizeof head) == kKeyHeading;
}

bool IsOutput(const std::filesystem::path& path, const std::vector<std::string>& outputs) {
    for (const std::string& output : outputs) {
        std::error_code error;
        if (std::filesystem::equivalent(path, FsPath(output), error) && !error) return true;
    }
    return false;
}

// The names in a folder (UTF-8), "." and ".." left out. Nothing more is
// asked here: what each is comes from KindOf. On Windows the system's own
// listing: libstdc++'s directory iterator goes through the C runtime, which
// cannot open a folder deeper than MAX_PATH.
std::vector<std::string> NamesIn(const std::string& folder) {
    std::vector<std::string> names;
#ifdef _WIN32
    WIN32_FIND_DATAW entry;
    const HANDLE search = ::FindFirstFileW(win::PathW(folder + "\\*").c_str(), &entry);
    if (search == INVALID_HANDLE_VALUE) throw std::runtime_error("cannot read the folder " + folder);
    do {
        const std::string name = win::Narrow(entry.cFileName);
        if (name != "." && name != "..") names.push_back(name);
    } while (::FindNextFileW(search, &entry));
    ::FindClose(search);
#else
    std::error_code error;
    for (std::filesystem::directory_iterator it(FsPath(folder), error), end; !error && it != end; it.increment(error))
        names.push_back(Utf8Of(it->path().filename()));
    if (error) throw std::runtime_error("cannot read the folder " + folder + ": " + error.message());
#endif
    return names;
}

// Whether a link's target lies outside the release folder `root` (its
// canonical form): a web server serves the target's bytes under the link's
// name, and "cp -rp" uploads them. Asked of the whole chain of links.
bool LeadsOutOf(const std::filesystem::path& link, const std::filesystem::path& root) {
    std::error_code error;
    const std::filesystem::path target = std::filesystem::canonical(link, error);
    if (error) return true;
    const auto mismatch = std::mismatch(root.begin(), root.end(), target.begin(), target.end());
    return mismatch.first != root.end();
}

// Everything below `folder`, its paths relative to the release (`relative`,
// empty at the top, else ending in "/"). `root`: the release folder, canonical.
void ScanFolder(const std::string& folder, const std::string& relativeFolder, const std::vector<std::string>& outputs,
                const std::filesystem::path& root, ScanResult& result) {
    for (const std::string& name : NamesIn(folder)) {
        const std::string path = folder + kSeparator + name;
        const std::string relative = relativeFolder + name;
        if (launcher::LocalNameProblem(name)) {
            // A name no Windows file can have is never opened: on Windows
            // "COM1" is a port (its open waits without end) and "nul.txt" the
            // null device. It goes on by its name alone, for the list's rules
            // to refuse (or --skip to leave out), as every launcher would.
            result.files.push_back({relative, 0, 0, 0, 0, 0, 0});
            continue;
        }
        const std::filesystem::path fsPath = FsPath(path);
        const PathKind kind = KindOf(fsPath);
        if (kind == PathKind::Folder) {
            if (name == ".git" || name == ".svn" || name == ".hg") result.leftOut.push_back(relative + "/ (version control)");
            else ScanFolder(path, relative + "/", outputs, root, result);
            continue;
        }
        if (kind == PathKind::LinkedFolder) {
            // Not followed: a link may lead out of the release, or round in a loop.
            result.leftOut.push_back(relative + "/ (a link to a folder: not followed; copy what it holds into the release)");
            continue;
        }
        if (kind != PathKind::File) {
            result.leftOut.push_back(relative + (KindOfLink(fsPath) ? " (a link that leads nowhere)"
                                                                    : " (not a plain file: a pipe, socket or device)"));
            continue;
        }
        if (KindOfLink(fsPath) && LeadsOutOf(fsPath, root)) {
            result.leftOut.push_back(relative + " (a link to a file outside the release: its bytes would be published; "
                                                "copy the file into the release)");
            continue;
        }
        if (IsOutput(fsPath, outputs)) {
            result.leftOut.push_back(relative + " (written by this command)");
            continue;
        }
        if (IsKeyFile(fsPath)) {
            result.leftOut.push_back(relative + " (a vtlist key file: never for players)");
            continue;
        }
        if (name.size() > 9 && name.substr(name.size() - 9) == ".vtblocks") {
            result.leftOut.push_back(relative + " (a block index: vtlist writes it for the file it is named after)");
            continue;
        }
        if (name.size() > 9 && name.substr(name.size() - 9) == ".vtrotate") {
            result.leftOut.push_back(relative + " (a key-change statement)");
            continue;
        }
        const std::optional<FileState> state = FileStateOf(path);
        if (!state) throw std::runtime_error("cannot read the time of " + relative);
        const std::tm t = LocalTime(std::chrono::system_clock::to_time_t(state->written));
        result.files.push_back({relative, t.tm_year + 1900, t.tm_mon + 1, t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec});
    }
}

}  // namespace

ScanResult ScanReleaseFolder(const std::string& folder, const std::vector<std::string>& outputs) {
    if (KindOf(FsPath(folder)) != PathKind::Folder) throw std::runtime_error("cannot read the folder " + folder);
    ScanResult result;
    std::string top = folder;
    while (top.size() > 1 && (top.back() == '/' || top.back() == '\\')) top.pop_back();
    // The release as links resolve (it may itself be reached through one);
    // where the system cannot say, a link leads out unless it is proven in.
    std::error_code error;
    std::filesystem::path root = std::filesystem::canonical(FsPath(top), error);
    if (error) root = std::filesystem::absolute(FsPath(top), error);
    ScanFolder(top, "", outputs, root, result);
    return result;
}

double NowAsDateValue() {
    const std::tm t = LocalTime(std::time(nullptr));
    return launcher::MakeDateValue(t.tm_year + 1900, t.tm_mon + 1, t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec).value_or(0);
}

}  // namespace vt::vtlist
