#include "tools/vtlist/folder_scan.h"

#include <chrono>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string_view>

#include "launcher/rules/date_value.h"

namespace vt::vtlist {
namespace {

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
        if (std::filesystem::equivalent(path, output, error) && !error) return true;
    }
    return false;
}

}  // namespace

ScanResult ScanReleaseFolder(const std::string& folder, const std::vector<std::string>& outputs) {
    namespace fs = std::filesystem;
    ScanResult result;
    std::error_code error;
    fs::recursive_directory_iterator walk(fs::path(folder), error), end;
    if (error) throw std::runtime_error("cannot read the folder " + folder + ": " + error.message());
    for (; walk != end; walk.increment(error)) {
        if (error) throw std::runtime_error("cannot read below " + folder + ": " + error.message());
        const std::string relative = fs::relative(walk->path(), fs::path(folder)).generic_string();
        const std::string name = walk->path().filename().string();
        if (walk->is_directory(error)) {
            if (name == ".git" || name == ".svn" || name == ".hg") {
                walk.disable_recursion_pending();
                result.leftOut.push_back(relative + "/ (version control)");
            }
            continue;
        }
        if (!walk->is_regular_file(error)) continue;
        if (IsOutput(walk->path(), outputs)) {
            result.leftOut.push_back(relative + " (written by this command)");
            continue;
        }
        if (IsKeyFile(walk->path())) {
            result.leftOut.push_back(relative + " (a vtlist key file: never for players)");
            continue;
        }
        if (name.size() > 9 && name.substr(name.size() - 9) == ".vtrotate") {
            result.leftOut.push_back(relative + " (a key-change statement)");
            continue;
        }
        const auto written = std::chrono::file_clock::to_sys(walk->last_write_time(error));
        const std::tm t = LocalTime(std::chrono::system_clock::to_time_t(
            std::chrono::time_point_cast<std::chrono::system_clock::duration>(written)));
        result.files.push_back({relative, t.tm_year + 1900, t.tm_mon + 1, t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec});
    }
    return result;
}

double NowAsDateValue() {
    const std::tm t = LocalTime(std::time(nullptr));
    return launcher::MakeDateValue(t.tm_year + 1900, t.tm_mon + 1, t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec).value_or(0);
}

}  // namespace vt::vtlist
