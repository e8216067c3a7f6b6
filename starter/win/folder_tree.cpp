#include "starter/win/folder_tree.h"
#include "platform/text.h"
#include "platform/win/text_codes.h"

#include <windows.h>

#include <optional>
#include <vector>

#include "platform/win/failure.h"
#include "platform/win/file_identity.h"
#include "platform/win/files.h"
#include "platform/win/handles.h"
#include "platform/win/held_file.h"
#include "starter/start_rules.h"

namespace vt::starter {
namespace {

bool IsLink(DWORD attributes) { return (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0; }
bool IsFolder(DWORD attributes) { return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0; }

bool SameName(const std::string& a, const char* b) { return win::SameFileName(a, b); }

// Normal attributes first, so that a read-only, hidden or system target is
// overwritten; every failure is passed over. CopyFile copies what a file link
// points to.
void CopyOneFile(const std::string& source, const std::string& target) {
    ::SetFileAttributesW(win::PathW(target).c_str(), FILE_ATTRIBUTE_NORMAL);
    win::WhileHeld(source, HoldBound::Use, [&] {
        return ::CopyFileW(win::PathW(source).c_str(), win::PathW(target).c_str(), FALSE) != FALSE;
    });
}

// A strict copy of one file: created anew (fails when anything is in the
// way), noted, and on a failure named with its cause. A partial target that
// CopyFile left (a full disk) was made here, so it is noted too, for the
// removal to take.
void CopyOneFileStrictly(const std::string& source, const std::string& target, CopyRecorder& recorder) {
    // A source another program holds for a moment (a scanner, the game's
    // updater) is waited out: CopyFile opens it before it makes the target.
    if (win::WhileHeld(source, HoldBound::Use, [&] {
            return ::CopyFileW(win::PathW(source).c_str(), win::PathW(target).c_str(), TRUE) != FALSE;
        })) {
        recorder.Created(target);
        return;
    }
    const DWORD error = ::GetLastError();
    if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS &&
        ::GetFileAttributesW(win::PathW(target).c_str()) != INVALID_FILE_ATTRIBUTES)
        recorder.Created(target);
    win::ThrowSystemError("Cannot copy " + source + " to " + target, error);
}

void MakeFolder(const std::string& path, CopyRecorder* recorder) {
    if (!recorder) {
        ::CreateDirectoryW(win::PathW(path).c_str(), nullptr);
        return;
    }
    if (!::CreateDirectoryW(win::PathW(path).c_str(), nullptr)) win::ThrowSystemError("Cannot create the folder " + path);
    recorder->Created(path);
}

// `copyRoot` is the copy's own target, which the walk never enters: a target
// inside its source would otherwise be copied into itself without end.
void CopyContents(const std::string& sourcePath, const std::string& targetPath,
                  const std::optional<win::FileIdentity>& copyRoot, CopyRecorder* recorder) {
    std::vector<std::string> subFolders;
    {
        WIN32_FIND_DATAW entry;
        win::UniqueFindHandle search(::FindFirstFileW(win::PathW((sourcePath + "*.*")).c_str(), &entry));
        if (!search) {
            if (recorder) win::ThrowSystemError("Cannot list " + sourcePath);
            return;
        }
        do {
            const std::string name = win::Narrow(entry.cFileName);
            if (name == "." || name == "..") continue;
            if (IsFolder(entry.dwFileAttributes)) {
                if (IsLink(entry.dwFileAttributes)) continue;
                if (copyRoot && win::IdentityOf(sourcePath + name) == copyRoot) continue;
                MakeFolder(targetPath + name, recorder);
                subFolders.push_back(name);
            } else if (!IsBackupFile(name) && !SameName(name, kCloneMarkerName)) {
                if (recorder) CopyOneFileStrictly(sourcePath + name, targetPath + name, *recorder);
                else CopyOneFile(sourcePath + name, targetPath + name);
            }
        } while (::FindNextFileW(search.get(), &entry));
        if (recorder && ::GetLastError() != ERROR_NO_MORE_FILES) win::ThrowSystemError("Cannot list " + sourcePath);
    }
    for (const std::string& name : subFolders)
        CopyContents(sourcePath + name + "\\", targetPath + name + "\\", copyRoot, recorder);
}

// Deletes the file (or link) `path` when its identity is owned: one open for
// both the question and the deletion, so nothing can be swapped in between,
// and no second look-up of the name (each costs a folder scan under Wine).
// A file another program holds without sharing its deletion is waited for
// a moment, and stays when it is held longer.
void DeleteOwnedFile(const std::string& path, const OwnedEntries& owned) {
    win::UniqueFileHandle file;
    const bool opened = win::WhileHeld(path, HoldBound::Use, [&] {
        file.reset(::CreateFileW(win::PathW(path).c_str(), DELETE | FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES,
                                 FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                 FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr));
        return static_cast<bool>(file);
    });
    if (!opened) return;
    const std::optional<win::FileIdentity> identity = win::IdentityOf(file.get());
    if (!identity || !owned.count({identity->volume, identity->index})) return;
    FILE_DISPOSITION_INFO dispose{TRUE};
    if (::SetFileInformationByHandle(file.get(), FileDispositionInfo, &dispose, sizeof dispose)) return;
    // A read-only file refuses its deletion: clear the attribute (zero times
    // mean "unchanged"), then ask again.
    FILE_BASIC_INFO basic{};
    basic.FileAttributes = FILE_ATTRIBUTE_NORMAL;
    if (::SetFileInformationByHandle(file.get(), FileBasicInfo, &basic, sizeof basic))
        ::SetFileInformationByHandle(file.get(), FileDispositionInfo, &dispose, sizeof dispose);
}

}  // namespace

void CopyFolderTree(std::string sourcePath, std::string targetPath, CopyRecorder* recorder) {
    const DWORD attributes = ::GetFileAttributesW(win::PathW(sourcePath).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) win::ThrowSystemError("Cannot copy " + sourcePath);

    if (!IsFolder(attributes)) {
        if (IsBackupFile(sourcePath)) return;
        if (recorder) CopyOneFileStrictly(sourcePath, targetPath, *recorder);
        else CopyOneFile(sourcePath, targetPath);
        return;
    }
    sourcePath = WithTrailingBackslash(std::move(sourcePath));
    targetPath = WithTrailingBackslash(std::move(targetPath));
    ::CreateDirectoryW(win::PathW(targetPath).c_str(), nullptr);
    const std::optional<win::FileIdentity> target = win::IdentityOf(targetPath);
    if (target && target == win::IdentityOf(sourcePath)) return;  // nothing to copy, never touch the source
    CopyContents(sourcePath, targetPath, target, recorder);
}

void CopyFolderContents(const std::string& sourcePath, const std::string& targetPath) {
    CopyContents(sourcePath, targetPath, win::IdentityOf(targetPath), nullptr);
}

namespace {

// A folder's entries (but "." and ".."), with the attributes the listing gave
// them; the one named `lastName` goes to `last` instead. False when the
// folder is not there.
bool ListForRemoval(const std::string& folderPath, const std::string& lastName, std::vector<std::string>& entries,
                    std::vector<DWORD>& listed, std::string& last) {
    WIN32_FIND_DATAW entry;
    win::UniqueFindHandle search(::FindFirstFileW(win::PathW((folderPath + "\\*.*")).c_str(), &entry));
    if (!search) {
        const DWORD error = ::GetLastError();
        if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND || error == ERROR_NO_MORE_FILES) return false;
        win::ThrowSystemError("Cannot list " + folderPath, error);
    }
    do {
        const std::string name = win::Narrow(entry.cFileName);
        if (name == "." || name == "..") continue;
        if (!lastName.empty() && SameName(name, lastName.c_str())) {
            last = folderPath + "\\" + name;
        } else {
            entries.push_back(folderPath + "\\" + name);
            listed.push_back(entry.dwFileAttributes);
        }
    } while (::FindNextFileW(search.get(), &entry));
    return true;
}

// Whether anything but `lastName` is still in the folder: a folder that keeps
// a file in use keeps its marker too.
bool OthersLeft(const std::string& folderPath, const std::string& lastName) {
    WIN32_FIND_DATAW entry;
    win::UniqueFindHandle search(::FindFirstFileW(win::PathW((folderPath + "\\*.*")).c_str(), &entry));
    if (!search) return false;
    do {
        const std::string name = win::Narrow(entry.cFileName);
        if (name != "." && name != ".." && !SameName(name, lastName.c_str())) return true;
    } while (::FindNextFileW(search.get(), &entry));
    return false;
}

}  // namespace

void RemoveFolderTree(const std::string& folderPath, const std::string& lastName, const OwnedEntries* owned) {
    if (IsRootOrEmpty(folderPath) || win::IsLinkPath(folderPath)) return;

    std::vector<std::string> entries;
    std::vector<DWORD> listed;  // each entry's attributes as the listing gave them
    std::string last;
    if (!ListForRemoval(folderPath, lastName, entries, listed, last)) return;

    for (std::size_t i = 0; i < entries.size(); ++i) {
        const std::string& path = entries[i];
        if (owned) {
            // Only what the copy made: a link (its own identity, or under Wine
            // its target's) or anything put here since is never in the list.
            if (IsFolder(listed[i]) && !IsLink(listed[i])) {
                const std::optional<win::FileIdentity> identity = win::IdentityOfEntry(path);
                if (identity && owned->count({identity->volume, identity->index})) RemoveFolderTree(path, {}, owned);
            } else {
                DeleteOwnedFile(path, *owned);
            }
            continue;
        }
        const DWORD attributes = ::GetFileAttributesW(win::PathW(path).c_str());
        if (attributes == INVALID_FILE_ATTRIBUTES) win::ThrowSystemError("Cannot remove " + path);
        if (IsLink(attributes)) {
            // The link goes, what it points to stays.
            if (!IsFolder(attributes) || !::RemoveDirectoryW(win::PathW(path).c_str())) ::DeleteFileW(win::PathW(path).c_str());
        } else if (IsFolder(attributes)) {
            RemoveFolderTree(path, {}, owned);
        } else {
            win::DeleteClearingAttributes(path);
        }
    }
    if (!last.empty()) {
        if (OthersLeft(folderPath, lastName)) return;
        win::DeleteClearingAttributes(last);
    }
    ::RemoveDirectoryW(win::PathW(folderPath).c_str());
}

}  // namespace vt::starter
