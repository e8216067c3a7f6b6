// The starter's rules that need no Windows: the mode word, the backup-file
// filter, the game's command line, the game's file name, the delay, and the
// clone's marker.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vt::starter {

// The argument text trimmed of blanks and upper-cased must be exactly "MULTI"
// (false) or "SINGLE" (true); anything else gives nothing.
std::optional<bool> ParseSingleMode(std::string_view argumentText);

// True when the text after the last "." (the whole text when there is none),
// in small letters, is "srmmbak".
bool IsBackupFile(std::string_view fileName);

// A double quote, `command`, a double quote, one blank, `parameter` unchanged.
std::string BuildGameCommandLine(const std::string& command, const std::string& parameter);

// Empty paths, drive roots ("C:\") and share roots ("\\server\share") are
// never removed as a tree. (Only the text: on disk a path can be a root in
// other spellings too, which the start sequence checks separately.)
bool IsRootOrEmpty(const std::string& path);

// Why SRNAME= cannot be used, or empty when it can: it must be a file name
// alone, since it is joined to the starter's folder and to the clone, and a
// name that climbs or leaves them would replace a file anywhere.
std::string SrNameRefusal(const std::string& srName);

// The wait before a delivered new launcher is installed: a negative DELAY=
// means none, and no value waits longer than a minute (Sleep would otherwise
// wait up to 24 days, or without end for the all-ones count).
inline constexpr std::int32_t kMaxDelayMs = 60000;
std::uint32_t EffectiveDelayMs(std::int32_t delayMs);

// The clone's marker: a hidden file in every clone the starter makes, which
// says "this folder is mine to remove". It records the clone folder's identity
// on disk (volume serial number and file index), so a marker that travels
// with a copy of the folder (a player's backup) claims nothing.
inline constexpr char kCloneMarkerName[] = "vtwd-clone.marker";

struct CloneMarker {
    std::uint32_t volume = 0;
    std::uint64_t index = 0;
    bool operator==(const CloneMarker&) const = default;
};

std::string CloneMarkerText(const CloneMarker& marker);
// Nothing when `text` is not a marker this starter wrote.
std::optional<CloneMarker> ParseCloneMarker(std::string_view text);

// While it copies, the starter appends a line to the marker for every file and
// folder it creates in the clone, with that entry's identity on disk
// ("owned VOLUME INDEX", the same hexadecimal as the head). The removal
// deletes only entries whose identity is listed: never a link planted in the
// clone (whose identity is its own, or that of what it points to), nor
// anything else the starter did not make.
struct CloneRecord {
    CloneMarker folder;
    std::vector<CloneMarker> owned;
};
std::string OwnedEntryLine(const CloneMarker& entry);
// The head exactly as CloneMarkerText writes it, then owned lines; a last line
// cut short (a start killed while it appended) is left out. Nothing when any
// complete line is not one the starter writes.
std::optional<CloneRecord> ParseCloneRecord(std::string_view text);

}  // namespace vt::starter
