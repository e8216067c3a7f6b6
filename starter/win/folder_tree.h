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
#pragma once

#include <string>

namespace vt::starter {

// Copies the folder `sourcePath` (or the single file) to `targetPath`. Throws a
// Failure when the source's attributes cannot be read (it does not exist).
// A target that is the source or lies inside it on disk is never walked into,
// and the clone's marker is never copied.
void CopyFolderTree(std::string sourcePath, std::string targetPath);

// The recursive work: both paths end in a backslash. Backup files are skipped;
// each folder's files are copied and its sub-folders created before the first
// sub-folder is entered; at most one search is open at a time.
void CopyFolderContents(const std::string& sourcePath, const std::string& targetPath);

// Deletes `folderPath` with everything below it. Refuses (does nothing for) an
// empty path, a drive or share root and a link. Throws a Failure when the
// listing fails for another reason than a missing folder, or a listed entry
// vanished. A file named `lastName` directly in `folderPath` is deleted only
// once everything else in the folder is gone.
void RemoveFolderTree(const std::string& folderPath, const std::string& lastName = {});

}  // namespace vt::starter
