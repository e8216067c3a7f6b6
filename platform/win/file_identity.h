// What a path is on disk, as opposed to how it is spelled. Two texts can name
// one folder in many ways: letter case, "/" for "\", trailing dots and blanks
// (which Windows drops), 8.3 short names, "..", and links. Safety questions
// ("does the clone folder hold the game folder?") are therefore answered with
// the volume serial number and file index of an open handle, never with text.
//
// Wine: the file index is the Unix inode number and links are followed when a
// path is opened; GetFinalPathNameByHandle resolves Unix symlinks there too.
#pragma once

#include <windows.h>

#include <optional>
#include <string>
#include <vector>

namespace vt::win {

struct FileIdentity {
    DWORD volume = 0;
    ULONGLONG index = 0;
    bool operator==(const FileIdentity&) const = default;
};

// The identity of the file or folder `path` leads to (links followed), or
// nothing when it cannot be opened.
std::optional<FileIdentity> IdentityOf(const std::string& path);

// The identity of what an open handle refers to.
std::optional<FileIdentity> IdentityOf(HANDLE file);

// The identity of the entry `path` itself: a link's own, not its target's
// (FILE_FLAG_OPEN_REPARSE_POINT). Wine cannot open a Unix symlink to a file
// as itself and gives its target's identity: either way never that of a file
// the caller made in place of the link.
std::optional<FileIdentity> IdentityOfEntry(const std::string& path);

// The full form of `path` (GetFullPathName: "." and ".." applied, "/" as "\",
// trailing dots and blanks of names dropped), cut back to the nearest folder or
// file that exists. Empty when not even a root exists.
std::string NearestExistingPath(const std::string& path);

// The identities of the existing folder or file nearest to `path` and of every
// folder that holds it on disk, innermost first. The chain follows the place the
// file really is (links resolved), not the text it was reached by.
std::vector<FileIdentity> IdentityChain(const std::string& path);

// True when `inner` (judged by its nearest existing path) is the folder `outer`
// or lies anywhere below it on disk. False when `outer` does not exist.
bool IsSameOrInsideOnDisk(const std::string& inner, const std::string& outer);

// True when `path` itself (not what it may point to) is a link: a junction or
// symbolic link, seen as the reparse-point attribute.
bool IsLinkPath(const std::string& path);

}  // namespace vt::win
