// The two settings records read from UPDATE.CFG, with every key and default.
// Each program looks only at its own keys; one file can serve both.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace vt {

// Defaults that name places outside the installation. A mod publisher ships an
// UPDATE.CFG with the real ones; these keep a bare install well-formed.
inline constexpr const char* kDefaultUpdateServerHost = "update.vortane-mod.net";
inline constexpr const char* kDefaultMultiplayerServer = "play.vortane-mod.net";
inline constexpr const char* kMultiplayerPort = "2302";

inline constexpr const char* kConfigFileName = "UPDATE.CFG";

std::string DefaultWebPath();    // "http://" host "/VTupdates/"
std::string DefaultExeParams();  // "-s" server ":2302"

struct LauncherSettings {
    std::string WebPath;
    std::string WebPage;
    std::string Watchdog;
    std::string PatchList;
    std::string LocalPage;
    std::string Timeout;        // stays text; turned into ticks where it is used
    std::string MaxDownloads;   // stays text; FetchesAtOnce turns it into a count
    std::string MaxRate;        // stays text; MaxRateBytesPerSecond turns it into the speed limit
    std::string PublicKey;      // the publisher's key (128 hex digits); empty: signatures not required
    std::string Mirrors;        // base URLs separated by blanks: more sources of files the side file vouches for
    std::string PatchListName;  // "update.dat", or PatchList when that is set
    std::string AppDir;
};

struct StarterSettings {
    std::string AppDir;
    std::string ExeName;
    std::string ExeParams;
    std::string ExeName2;
    std::string SrName;
    std::string CopyDir;
    std::string CloneDir;
    std::string NewLauncher;  // relative to AppDir, never resolved
    std::int32_t DelayMs = 1000;
};

// Builds the records from the lines of UPDATE.CFG, or from no file at all
// (`lines` empty-optional), for a program whose AppDir is `appDir`.
LauncherSettings MakeLauncherSettings(const std::string& appDir, const std::optional<std::vector<std::string>>& lines);
StarterSettings MakeStarterSettings(const std::string& appDir, const std::optional<std::vector<std::string>>& lines);

}  // namespace vt
