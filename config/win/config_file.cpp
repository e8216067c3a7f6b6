#include "config/win/config_file.h"
#include "platform/win/text_codes.h"

#include "config/app_dir.h"
#include "config/text_lines.h"
#include "platform/win/files.h"

namespace vt::win {

std::optional<std::vector<std::string>> ReadConfigLines(const std::string& appDir) {
    const std::string path = appDir + kConfigFileName;
    if (!OrdinaryFileExists(path)) return std::nullopt;
    // Each line UTF-8, or in the system's code page when it is not UTF-8 (a
    // file written by an older editor): paths inside are UTF-8.
    std::vector<std::string> lines = SplitTextLines(ReadWholeFile(path));
    for (std::string& line : lines) line = LineAsUtf8(line);
    return lines;
}

std::string ProgramAppDir() { return MakeAppDir(ProgramFolder()); }

LauncherSettings ReadLauncherSettings(const std::string& appDir) {
    return MakeLauncherSettings(appDir, ReadConfigLines(appDir));
}

StarterSettings ReadStarterSettings(const std::string& appDir) {
    return MakeStarterSettings(appDir, ReadConfigLines(appDir));
}

}  // namespace vt::win
