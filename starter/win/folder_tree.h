// Copying a folder tree into the clone and removing the clone. Forgiving: a
// folder that cannot be created or a file that cannot be copied, cleared or
// deleted is passed over and the walk goes on.
//
// Folder links (junctions, folder symlinks: a folder with
// FILE_ATTRIBUTE_REPARSE_POINT) are never followed: the copy leaves them out,
// and the removal removes the link itself, never what it points to, and never
// starts at a folder that is itself a link. File links are copied by their
// content, like every other file. Wine can neither make nor delete a folder
// link from Windows code (it reports a Unix symlink to a folder as 0x410);
// there the link simply stays, and so does the folder holding it.
//
// Into the clone the copy is strict instead (with a recorder): it creates
// every entry anew (nothing is overwritten, so nothing is written through a
// link left in the way), notes each entry's identity before its content is
// written, and stops at the first failure with a Failure that names the entry
// and the cause (a full disk, a file another program holds): the game must
// never start in an incomplete clone.
#pragma once

#include <windows.h>

#include <set>
#include <string>
#include <utility>

namespace vt::starter {

// Identities (volume serial number, file index) of entries a copy made.
using OwnedEntries = std::set<std::pair<DWORD, ULONGLONG>>;

// Hears of every file and folder a strict copy creates, right after it was
// created and before anything is written into it.
class CopyRecorder {
public:
    virtual ~CopyRecorder() = default;
    virtual void Created(const std::string& path) = 0;
};

// Copies the folder `sourcePath` (or the single file) to `targetPath`. Throws a
// Failure when the source's attributes cannot be read (it does not exist).
// A target that is the source or lies inside it on disk is never walked into,
// and the clone's marker is never copied. With `recorder`, strict (above).
void CopyFolderTree(std::string sourcePath, std::string targetPath, CopyRecorder* recorder = nullptr);

// The recursive work: both paths end in a backslash. Backup files are skipped;
// each folder's files are copied and its sub-folders created before the first
// sub-folder is entered; at most one search is open at a time.
void CopyFolderContents(const std::string& sourcePath, const std::string& targetPath);

// Deletes `folderPath` with everything below it. Refuses (does nothing for) an
// empty path, a drive or share root and a link. Throws a Failure when the
// listing fails for another reason than a missing folder, or a listed entry
// vanished. A file named `lastName` directly in `folderPath` is deleted only
// once everything else in the folder is gone. With `owned`, only entries whose
// identity is in it are deleted (and folders only once empty): anything else
// stays, and so do the folders holding it.
void RemoveFolderTree(const std::string& folderPath, const std::string& lastName = {},
                      const OwnedEntries* owned = nullptr);

}  // namespace vt::starter
