// The starter's rules that need no Windows: the mode word, the backup-file
// filter, the game's command line, and which folders may be removed as the clone.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace vt::starter {

// The argument text trimmed of blanks and upper-cased must be exactly "MULTI"
// (false) or "SINGLE" (true); anything else gives nothing.
std::optional<bool> ParseSingleMode(std::string_view argumentText);

// True when the text after the last "." (the whole text when there is none),
// in small letters, is "srmmbak".
bool IsBackupFile(std::string_view fileName);

// A double quote, `command`, a double quote, one blank, `parameter` unchanged.
std::string BuildGameCommandLine(const std::string& command, const std::string& parameter);

// The folder of a program path including its last backslash ("C:\a\b.exe"
// gives "C:\a\"), or empty when it names no folder.
std::string FolderOf(const std::string& path);

// A path made comparable: "/" as "\", runs of "\" as one, "." and ".."
// segments applied, no trailing "\", ASCII letters in small case.
std::string ComparablePath(const std::string& path);

// True when `inner` is `outer` or lies below it (both compared as above).
bool IsSameOrInside(const std::string& inner, const std::string& outer);

// Empty paths, drive roots ("C:\") and share roots ("\\server\share") are
// never removed as a tree.
bool IsRootOrEmpty(const std::string& path);

// Why `cloneDir` must not be removed and refilled, or empty when it may: it is
// a root, or it is or holds the folder it is cloned from or the starter's own.
std::string CloneDirRefusal(const std::string& cloneDir, const std::string& copyDir, const std::string& appDir);

}  // namespace vt::starter
