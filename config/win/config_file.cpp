#include "config/win/config_file.h"

#include "config/app_dir.h"
#include "config/text_lines.h"
#include "platform/win/files.h"

namespace vt::win {

std::optional<std::vector<std::string>> ReadConfigLines(const std::string& appDir) {
    const std::string path = appDir + kConfigFileName;
    if (!OrdinaryFileExists(path)) return std::nullopt;
    return SplitTextLines(ReadWholeFile(path));
}

std::string ProgramAppDir() { return MakeAppDir(ProgramFolder()); }

LauncherSettings ReadLauncherSettings(const std::string& appDir) {
    return MakeLauncherSettings(appDir, ReadConfigLines(appDir));
}

StarterSettings ReadStarterSettings(const std::string& appDir) {
    return MakeStarterSettings(appDir, ReadConfigLines(appDir));
}

}  // namespace vt::win
