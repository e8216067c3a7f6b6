// One line of the patch list: RemotePath|LocalPath|Stamp. The whole list has
// had every "/" turned into "\" before its lines get here.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "launcher/rules/date_value.h"

namespace vt::launcher {

struct PatchEntry {
    std::string RemotePath;  // tabs removed; appended to WebPath
    std::string LocalPath;   // tabs removed, "/" as "\", "\\" as "\"; appended to AppDir
    std::string Stamp;       // tabs removed; read by ClassifyStamp
    bool UncLocalPath = false;  // LocalPath was written "\\server\share...", before "\\" became "\"
};

// The three cleaned fields, or nothing when the line does not hold exactly two
// "|" (an empty line is one field).
std::optional<PatchEntry> SplitPatchEntry(std::string_view line);

// False for a LocalPath that would write outside the mod's install root (the
// folder that holds the launcher's folder): one with a ":" (a drive, or a
// stream name), or one whose ".." segments climb above that root.
bool IsSafeLocalPath(const std::string& localPath);

// IsSafeLocalPath, and not written as a UNC path. (A single leading "\" stays
// inside AppDir, since the path is appended to it.)
bool IsSafeEntry(const PatchEntry& entry);

// Why Windows can have no file at this local path ("\" between names),
// said for a publisher; nothing when every name is one it can create. A
// name may not be a device (CON, PRN, AUX, NUL, COM1 to COM9, LPT1 to LPT9,
// in any case, with any extension, blanks before the dot included: "nul.txt"
// and "Aux .ini" are the device too), hold a control character or one of
// < > : " / | ? *, or be only dots and blanks. A drive at the start ("C:")
// is left to IsSafeLocalPath, which refuses it as leaving the mod's folders.
std::optional<std::string> LocalNameProblem(std::string_view localPath);

// Why the launcher refuses an entry before anything is written or fetched,
// said for its log: "<LocalNameProblem>: <LocalPath>", or "the local path
// leaves the mod's folders: <LocalPath>" when it is not IsSafeEntry; nothing
// for an entry it takes.
std::optional<std::string> EntryRefusal(const PatchEntry& entry);

// A local path as Windows resolves it on the way to the disk, by its text
// alone: every name's trailing dots and blanks dropped ("a.txt." is
// "a.txt"), "." and empty names dropped, and ".." taking back the name
// before it ("DATA\sub\..\x.txt" is "DATA\x.txt"); a ".." with no name
// before it stays ("..\DATA\x.txt").
std::string ResolvedLocalPath(std::string_view localPath);

// The key under which Windows takes two local paths for one file: the
// ResolvedLocalPath in FileNameUpper, so "..\DATA\x.txt",
// "..\DATA\sub\..\X.TXT" and "..\EXE\..\DATA\x.txt." are one key.
std::string WindowsNameKey(std::string_view localPath);

// AppDir followed by every folder of LocalPath, each with its "\"; empty when
// LocalPath names no folder.
std::string EntryFolderPath(const std::string& appDir, const std::string& localPath);

// "DOWNLOADING File 7 ..."
// The index is counted in 32 bits, so a list longer than 32,766 entries goes on
// counting instead of wrapping to negative numbers.
std::string EntryStatusText(std::int32_t lineIndex);

enum class StampKind { Always, Date, Unreadable };

// "immer" in any case with blanks around it, a readable date (written to
// `date`), or neither. Two-digit years as MakeDateValue says.
StampKind ClassifyStamp(const std::string& stamp, DateValue& date, int twoDigitYearMax = kDefaultTwoDigitYearMax);

// The stamp's five digit runs read as year, month, day, hour, minute; seconds
// are 0 and anything after the minute is ignored. `value` is written only on
// success.
bool ParseListDate(const std::string& text, DateValue& value, int twoDigitYearMax = kDefaultTwoDigitYearMax);

void TakeDigits(std::string& text, std::string& digits);
void SkipNonDigits(std::string& text);

}  // namespace vt::launcher
