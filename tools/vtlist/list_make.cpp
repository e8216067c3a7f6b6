#include "tools/vtlist/list_make.h"

#include <algorithm>
#include <cstdio>
#include <map>
#include <optional>

#include "platform/text.h"
#include "launcher/rules/patch_entry.h"

namespace vt::vtlist {
namespace {

bool Match(const char* p, const char* s) {
    for (; *p; ++p, ++s) {
        if (*p == '*') {
            for (const char* rest = s;; ++rest) {
                if (Match(p + 1, rest)) return true;
                if (!*rest) return false;
            }
        }
        if (!*s || (*p != '?' && *p != *s)) return false;
    }
    return !*s;
}

int DaysIn(int year, int month) {
    static const int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return month == 2 && leap ? 29 : days[month - 1];
}

}  // namespace

bool GlobMatch(const std::string& pattern, const std::string& relativePath) {
    const std::string subject =
        pattern.find('/') == std::string::npos ? relativePath.substr(relativePath.find_last_of('/') + 1) : relativePath;
    return Match(pattern.c_str(), subject.c_str());
}

std::string StampFor(const ReleaseFile& file) {
    int year = file.year, month = file.month, day = file.day, hour = file.hour, minute = file.minute;
    if (file.second > 0 && ++minute == 60) {
        minute = 0;
        if (++hour == 24) {
            hour = 0;
            if (++day > DaysIn(year, month)) {
                day = 1;
                if (++month == 13) {
                    month = 1;
                    ++year;
                }
            }
        }
    }
    char text[32];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d", year, month, day, hour, minute);
    return text;
}

std::string MakePatchList(std::vector<ReleaseFile> files, const MakeOptions& options, std::vector<std::string>& refused,
                          std::vector<std::string>* why) {
    std::sort(files.begin(), files.end(),
              [](const ReleaseFile& a, const ReleaseFile& b) { return a.relativePath < b.relativePath; });
    std::string list = options.header + "\r\n";
    std::map<std::string, std::string> listedAs;  // WindowsNameKey -> the name listed
    auto refuse = [&](const std::string& path, std::string reason) {
        refused.push_back(path);
        if (why) why->push_back(std::move(reason));
    };
    for (const ReleaseFile& file : files) {
        const std::string& path = file.relativePath;
        auto matches = [&](const std::vector<std::string>& globs) {
            return std::any_of(globs.begin(), globs.end(), [&](const std::string& g) { return GlobMatch(g, path); });
        };
        if (path.find_first_of("|\t\r\n") != std::string::npos) {
            refuse(path, "a patch list cannot carry \"|\", a tab or a line end in a name");
            continue;
        }
        if (matches(options.skipGlobs)) continue;
        if (!IsValidUtf8(path)) {
            refuse(path, "the name is not UTF-8 (a list is UTF-8, and launchers ask the server for the UTF-8 form): "
                         "rename it");
            continue;
        }
        std::string local = options.localPrefix + path;
        std::replace(local.begin(), local.end(), '/', '\\');
        std::string windowsPath = path;
        std::replace(windowsPath.begin(), windowsPath.end(), '/', '\\');
        if (const std::optional<std::string> problem = launcher::LocalNameProblem(windowsPath)) {
            refuse(path, *problem + "; every launcher would end with E4 here");
            continue;
        }
        if (const auto [it, fresh] = listedAs.emplace(launcher::WindowsNameKey(windowsPath), path); !fresh) {
            refuse(path, "Windows takes it for the same file as \"" + it->second +
                             "\" (trailing dots and blanks are dropped, case does not count)");
            continue;
        }
        // Every line ends in one CR LF; two at the end would be a blank entry.
        list += path + "\t|" + local + "\t|" + (matches(options.immerGlobs) ? "immer" : StampFor(file)) + "\r\n";
    }
    return list;
}

}  // namespace vt::vtlist
