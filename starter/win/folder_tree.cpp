#include "starter/win/folder_tree.h"

#include <windows.h>

#include <vector>

#include "platform/win/failure.h"
#include "platform/win/handles.h"
#include "starter/start_rules.h"

namespace vt::starter {
namespace {

bool IsLink(DWORD attributes) { return (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0; }
bool IsFolder(DWORD attributes) { return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0; }

// Normal attributes first, so that a read-only, hidden or system target is
// overwritten; every failure is passed over.
void CopyOneFile(const std::string& source, const std::string& target) {
    ::SetFileAttributesA(target.c_str(), FILE_ATTRIBUTE_NORMAL);
    ::CopyFileA(source.c_str(), target.c_str(), FALSE);
}

// `copyRoot` is the copy's own target, which the walk never enters: a target
// inside its source would otherwise be copied into itself without end.
void CopyContents(const std::string& sourcePath, const std::string& targetPath, const std::string& copyRoot) {
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
                if (IsSameOrInside(sourcePath + name, copyRoot)) continue;
                ::CreateDirectoryA((targetPath + name).c_str(), nullptr);
                subFolders.push_back(name);
            } else if (!IsBackupFile(name) && !IsLink(entry.dwFileAttributes)) {
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
    if (ComparablePath(sourcePath) == ComparablePath(targetPath)) return;  // nothing to copy, never touch the source
    ::CreateDirectoryA(targetPath.c_str(), nullptr);
    CopyFolderContents(sourcePath, targetPath);
}

void CopyFolderContents(const std::string& sourcePath, const std::string& targetPath) {
    CopyContents(sourcePath, targetPath, targetPath);
}

void RemoveFolderTree(const std::string& folderPath) {
    if (IsRootOrEmpty(folderPath)) return;

    std::vector<std::string> entries;
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
            if (name != "." && name != "..") entries.push_back(folderPath + "\\" + name);
        } while (::FindNextFileA(search.get(), &entry));
    }

    for (const std::string& path : entries) {
        const DWORD attributes = ::GetFileAttributesA(path.c_str());
        if (attributes == INVALID_FILE_ATTRIBUTES) win::ThrowSystemError("Cannot remove " + path);
        if (IsLink(attributes)) {
            // The link goes, what it points to stays.
            ::SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
            if (!::RemoveDirectoryA(path.c_str())) ::DeleteFileA(path.c_str());
        } else if (IsFolder(attributes)) {
            RemoveFolderTree(path);
        } else {
            ::SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
            ::DeleteFileA(path.c_str());
        }
    }
    ::RemoveDirectoryA(folderPath.c_str());
}

}  // namespace vt::starter
