#include "config/settings.h"

#include <utility>

#include "config/config_line.h"
#include "config/number_text.h"
#include "config/resolve_path.h"

namespace vt {
namespace {

struct KeyField {
    const char* key;
    std::string* field;
};

// Stores each line's value in the field of the first key that matches exactly;
// later lines replace earlier values. Empty lines and unknown keys are skipped.
template <std::size_t N>
void ReadKeys(const std::optional<std::vector<std::string>>& lines, const KeyField (&keys)[N]) {
    if (!lines) return;
    for (const std::string& line : *lines) {
        if (line.empty()) continue;
        const ConfigLine parsed = SplitConfigLine(line);
        for (const KeyField& k : keys) {
            if (parsed.Key == k.key) {
                *k.field = parsed.Value;
                break;
            }
        }
    }
}

void Default(std::string& field, std::string value) {
    if (field.empty()) field = std::move(value);
}

}  // namespace

std::string DefaultWebPath() { return std::string("http://") + kDefaultUpdateServerHost + "/VTupdates/"; }
std::string DefaultExeParams() { return std::string("-s") + kDefaultMultiplayerServer + ":" + kMultiplayerPort; }

LauncherSettings MakeLauncherSettings(const std::string& appDir, const std::optional<std::vector<std::string>>& lines) {
    LauncherSettings s;
    s.PatchListName = "update.dat";
    s.AppDir = appDir;
    const KeyField keys[] = {
        {"WEBPATH=", &s.WebPath},     {"WEBPAGE=", &s.WebPage},     {"WATCHDOG=", &s.Watchdog},
        {"PATCHLIST=", &s.PatchList}, {"LOCALPAGE=", &s.LocalPage}, {"TIMEOUT=", &s.Timeout},
        {"MAXDOWNLOADS=", &s.MaxDownloads}, {"PUBLICKEY=", &s.PublicKey}, {"MIRRORS=", &s.Mirrors},
        {"MAXRATE=", &s.MaxRate},
    };
    ReadKeys(lines, keys);

    Default(s.WebPath, DefaultWebPath());
    Default(s.WebPage, "Index.html");
    Default(s.Watchdog, "vtwd.exe");
    Default(s.LocalPage, "LocalLauncher.htm");
    Default(s.Timeout, "3");
    if (!s.PatchList.empty()) s.PatchListName = s.PatchList;
    return s;
}

StarterSettings MakeStarterSettings(const std::string& appDir, const std::optional<std::vector<std::string>>& lines) {
    StarterSettings s;
    s.AppDir = appDir;
    std::string delayText;
    const KeyField keys[] = {
        {"EXENAME=", &s.ExeName},   {"EXENAME2=", &s.ExeName2}, {"EXEPARAMS=", &s.ExeParams},     {"SRNAME=", &s.SrName},
        {"COPYDIR=", &s.CopyDir},   {"CLONEDIR=", &s.CloneDir}, {"NEWLAUNCHER=", &s.NewLauncher}, {"DELAY=", &delayText},
    };
    ReadKeys(lines, keys);

    Default(s.CopyDir, "..\\EXE\\");
    ResolveRelativePath(appDir, s.CopyDir);
    Default(s.CloneDir, "..\\EXE2\\");
    ResolveRelativePath(appDir, s.CloneDir);
    Default(s.ExeName, "..\\DATA\\AUDIO\\ambienteA.utf");
    ResolveRelativePath(appDir, s.ExeName);
    Default(s.ExeName2, "..\\DATA\\AUDIO\\ambienteB.utf");
    ResolveRelativePath(appDir, s.ExeName2);
    Default(s.ExeParams, DefaultExeParams());
    Default(s.SrName, "Skyreach.exe");
    Default(s.NewLauncher, "..\\DATA\\AUDIO\\ambienteC.utf");
    Default(delayText, "1000");
    s.DelayMs = ParseInt32(delayText).value_or(1000);
    return s;
}

}  // namespace vt
