// `vtlist make`: a patch list from a release folder's files, in the form the
// launcher reads: a header line, one entry per file sorted by path, "/" in
// server paths, "\" in local paths, a "YYYY-MM-DD HH:MM" stamp, CR LF line
// ends and no blank last line.
#pragma once

#include <string>
#include <vector>

namespace vt::vtlist {

struct ReleaseFile {
    std::string relativePath;  // "/"-separated, below the release folder
    int year, month, day, hour, minute, second;  // last written, local time
};

struct MakeOptions {
    std::string header = "Vortane patch list";
    std::string localPrefix;                                // put before each local path
    std::vector<std::string> immerGlobs;                    // fetched on every run
    std::vector<std::string> skipGlobs = {"*.srmmbak"};     // left out
};

// "*" matches any run of characters (also "/"), "?" one character; letter
// case matters. A pattern without "/" is matched against the file name alone.
bool GlobMatch(const std::string& pattern, const std::string& relativePath);

// The stamp for a file last written at that time. Stamps have minute
// resolution, so a time with seconds is rounded up to the next minute: a
// player's copy written earlier in that same minute is then still fetched.
std::string StampFor(const ReleaseFile& file);

// The list text. Names that would fail every player's launcher are returned
// in `refused` (with the reason at the same place in `why`, when given) and
// give no entry: what the format cannot carry ("|", a tab, a CR or LF), what
// is not UTF-8 (the docs promise UTF-8, and launchers ask for the UTF-8
// form), what Windows can have no file by (the launcher's own rule,
// LocalNameProblem), and a second name Windows takes for the same file as
// one listed before it ("a.txt." beside "a.txt").
std::string MakePatchList(std::vector<ReleaseFile> files, const MakeOptions& options, std::vector<std::string>& refused,
                          std::vector<std::string>* why = nullptr);

}  // namespace vt::vtlist
