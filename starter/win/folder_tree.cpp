#include "starter/win/folder_tree.h"

#include <windows.h>

#include <optional>
#include <vector>

#include "platform/win/failure.h"
#include "platform/win/file_identity.h"
#include "platform/win/handles.h"
#include "starter/start_rules.h"

namespace vt::starter {
namespace {

bool IsLink(DWORD attributes) { return (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0; }
bool IsFolder(DWORD attributes) { return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0; }

bool SameName(const std::string& a, const char* b) { return ::lstrcmpiA(a.c_str(), b) == 0; }

// Normal attributes first, so that a read-only, hidden or system target is
// overwritten; every failure is passed over. CopyFile copies what a file link
// points to.
void CopyOneFile(const std::string& source, const std::string& target) {
    ::SetFileAttributesA(target.c_str(), FILE_ATTRIBUTE_NORMAL);
    ::CopyFileA(source.c_str(), target.c_str(), FALSE);
}

// `copyRoot` is the copy's own target, which the walk never enters: a target
// inside its source would otherwise be copied into itself without end.
void CopyContents(const std::string& sourcePath, const std::string& targetPath,
                  const std::optional<win::FileIdentity>& copyRoot) {
    std::vector<std::string> subFolders;
    {
        WIN32_FIND_DATAA entry;
        win::UniqueFindHandle search(::FindFirstFileA((sourcePath + "*.*").c_str(), &entry));
        if (!search) return;
        do {
            const std::string name = entry.cFileName;
            if (name == "." || name == "..") continue;
            if (IsFolder(entry.dwFileAttributes)) {
                if (IsLink(entry.dwFileAttributes)) continue;
                if (copyRoot && win::IdentityOf(sourcePath + name) == copyRoot) continue;
                ::CreateDirectoryA((targetPath + name).c_str(), nullptr);
                subFolders.push_back(name);
            } else if (!IsBackupFile(name) && !SameName(name, kCloneMarkerName)) {
                CopyOneFile(sourcePath + name, targetPath + name);
            }
        } while (::FindNextFileA(search.get(), &entry));
    }
    for (const std::string& name : subFolders)
        CopyContents(sourcePath + name + "\\", targetPath + name + "\\", copyRoot);
}

}  // namespace

void CopyFolderTree(std::string sourcePath, std::string targetPath) {
    const DWORD attributes = ::GetFileAttributesA(sourcePath.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) win::ThrowSystemError("Cannot copy " + sourcePath);

    if (!IsFolder(attributes)) {
        if (!IsBackupFile(sourcePath)) CopyOneFile(sourcePath, targetPath);
        return;
    }
    if (sourcePath.back() != '\\') sourcePath += '\\';
    if (targetPath.empty() || targetPath.back() != '\\') targetPath += '\\';
    ::CreateDirectoryA(targetPath.c_str(), nullptr);
    const std::optional<win::FileIdentity> target = win::IdentityOf(targetPath);
    if (target && target == win::IdentityOf(sourcePath)) return;  // nothing to copy, never touch the source
    CopyContents(sourcePath, targetPath, target);
}

void CopyFolderContents(const std::string& sourcePath, const std::string& targetPath) {
    CopyContents(sourcePath, targetPath, win::IdentityOf(targetPath));
}

void RemoveFolderTree(const std::string& folderPath, const std::string& lastName) {
    if (IsRootOrEmpty(folderPath) || win::IsLinkPath(folderPath)) return;

    std::vector<std::string> entries;
    std::string last;
    {
        WIN32_FIND_DATAA entry;
        win::UniqueFindHandle search(::FindFirstFileA((folderPath + "\\*.*").c_str(), &entry));
        if (!search) {
            const DWORD error = ::GetLastError();
            if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND || error == ERROR_NO_MORE_FILES) return;
            win::ThrowSystemError("Cannot list " + folderPath, error);
        }
        do {
            const std::string name = entry.cFileName;
            if (name == "." || name == "..") continue;
            if (!lastName.empty() && SameName(name, lastName.c_str())) last = folderPath + "\\" + name;
            else entries.push_back(folderPath + "\\" + name);
        } while (::FindNextFileA(search.get(), &entry));
    }

    for (const std::string& path : entries) {
        const DWORD attributes = ::GetFileAttributesA(path.c_str());
        if (attributes == INVALID_FILE_ATTRIBUTES) win::ThrowSystemError("Cannot remove " + path);
        if (IsLink(attributes)) {
            // The link goes, what it points to stays.
            if (!IsFolder(attributes) || !::RemoveDirectoryA(path.c_str())) ::DeleteFileA(path.c_str());
        } else if (IsFolder(attributes)) {
            RemoveFolderTree(path);
        } else {
            ::SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
            ::DeleteFileA(path.c_str());
        }
    }
    if (!last.empty()) {
        // Only when nothing else is left: a folder that keeps a file in use
        // keeps its marker too.
        bool othersLeft = false;
        WIN32_FIND_DATAA entry;
        win::UniqueFindHandle search(::FindFirstFileA((folderPath + "\\*.*").c_str(), &entry));
        if (search) {
            do {
                const std::string name = entry.cFileName;
                othersLeft = othersLeft || (name != "." && name != ".." && !SameName(name, lastName.c_str()));
            } while (!othersLeft && ::FindNextFileA(search.get(), &entry));
        }
        search.reset();
        if (othersLeft) return;
        ::SetFileAttributesA(last.c_str(), FILE_ATTRIBUTE_NORMAL);
        ::DeleteFileA(last.c_str());
    }
    ::RemoveDirectoryA(folderPath.c_str());
}

}  // namespace vt::starter
