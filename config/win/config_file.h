// Reads UPDATE.CFG from a program's folder into its settings record.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "config/settings.h"

namespace vt::win {

// The lines of `appDir` & "UPDATE.CFG", or nothing when there is no ordinary
// file of that name (a hidden or system one counts as missing). A file that
// exists but cannot be read throws a Failure.
std::optional<std::vector<std::string>> ReadConfigLines(const std::string& appDir);

// The program's AppDir, computed from its own module path.
std::string ProgramAppDir();

LauncherSettings ReadLauncherSettings(const std::string& appDir);
StarterSettings ReadStarterSettings(const std::string& appDir);

}  // namespace vt::win
