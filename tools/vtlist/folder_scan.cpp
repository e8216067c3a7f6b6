#include "tools/vtlist/folder_scan.h"

#include <chrono>
#include <ctime>
#include <filesystem>
#include <stdexcept>

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

}  // namespace

std::vector<ReleaseFile> ScanReleaseFolder(const std::string& folder) {
    namespace fs = std::filesystem;
    std::vector<ReleaseFile> files;
    std::error_code error;
    fs::recursive_directory_iterator walk(fs::path(folder), error), end;
    if (error) throw std::runtime_error("cannot read the folder " + folder + ": " + error.message());
    for (; walk != end; walk.increment(error)) {
        if (error) throw std::runtime_error("cannot read below " + folder + ": " + error.message());
        if (!walk->is_regular_file(error)) continue;
        const auto written = std::chrono::file_clock::to_sys(walk->last_write_time(error));
        const std::tm t = LocalTime(std::chrono::system_clock::to_time_t(
            std::chrono::time_point_cast<std::chrono::system_clock::duration>(written)));
        files.push_back({fs::relative(walk->path(), fs::path(folder)).generic_string(), t.tm_year + 1900, t.tm_mon + 1,
                         t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec});
    }
    return files;
}

double NowAsDateValue() {
    const std::tm t = LocalTime(std::time(nullptr));
    return launcher::MakeDateValue(t.tm_year + 1900, t.tm_mon + 1, t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec).value_or(0);
}

}  // namespace vt::vtlist
