// The rules of an update run that need no Windows: the marker check on the
// probe page, the entries of the patch list, the time-out count, the six
// endings and the starter's command line.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace vt::launcher {

inline constexpr char kLauncherMarker[] = "<!-- Vortane Mod Launcher -->";
inline constexpr char kProbeFileName[] = "delete_me.txt";
inline constexpr char kListFileName[] = "NEWUPDATE.TXT";
inline constexpr std::uint32_t kTimeoutTickMs = 30000;
// The probe page and the patch list are read whole: a body over this fails
// their fetch (E11 / E1) instead of filling memory. vtlist refuses to make
// or pass a list over it.
inline constexpr std::uint64_t kMaxListBytes = 64ull * 1024 * 1024;

// True when the page's text (its lines, each followed by CR LF) begins with the
// marker, letter case ignored. A byte-order mark or a blank first line fails.
bool BeginsWithLauncherMarker(const std::vector<std::string>& pageLines);

// What a page begins with, for the log line of an E12: its first 40 bytes in
// quotes, printable ASCII as it is and every other byte as \xHH, so that a
// byte-order mark or a proxy's sign-on page can be told at a glance.
std::string PageBeginningForLog(std::string_view page);

// The entries of the patch list, given its lines: every line after the header,
// with every "/" turned into "\". The list text is built by appending CR LF to
// each line and split again at CR LF; since no line holds a CR, that gives back
// exactly the lines plus one empty last element, which is never an entry.
std::vector<std::string> PatchListEntries(std::vector<std::string> listLines);

// The time-out in 30-second ticks: TIMEOUT= minutes, rounded half to even,
// doubled in 16 bits; 6 when the text or its double does not fit.
std::int16_t GetTimeoutTicks(const std::string& timeout);

// How many files are fetched at once: MAXDOWNLOADS=, rounded, within 1..16
// (1 is one at a time); 6, as in other mod launchers, when it is empty or not
// a number.
inline constexpr int kDefaultFetchesAtOnce = 6;
inline constexpr int kMostFetchesAtOnce = 16;
int FetchesAtOnce(const std::string& maxDownloads);

// One tick's count-down. The count stops at -32768 instead of wrapping, so a
// TIMEOUT= of -16384 runs out at the first tick like every other count <= 0.
std::int16_t LowerTicksLeft(std::int16_t ticksLeft);

enum class RunEnding { Done, E1, E2, E4, E11, E12 };

const char* EndingStatusText(RunEnding ending);
const char* EndingName(RunEnding ending);  // "Done", "E1", ...

// "\"<AppDir><Watchdog>\" MULTI" or "... SINGLE".
std::string StarterCommandLine(const std::string& appDir, const std::string& watchdog, bool multiplayer);

// "Problem starting Skyreach ... [E9]" (multiplayer) or "... [E10]".
const char* LaunchProblemText(bool multiplayer);

}  // namespace vt::launcher
