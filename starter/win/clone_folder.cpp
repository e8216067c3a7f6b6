#include "starter/win/clone_folder.h"

#include <windows.h>

#include <utility>
#include <vector>

#include "platform/win/file_identity.h"
#include "platform/win/files.h"
#include "platform/win/replace_file.h"
#include "starter/start_rules.h"
#include "starter/win/folder_tree.h"

namespace vt::starter {
namespace {

std::string WithBackslash(std::string path) {
    if (path.empty() || path.back() != '\\') path += '\\';
    return path;
}

std::string MarkerPath(const std::string& cloneDir) { return WithBackslash(cloneDir) + kCloneMarkerName; }

std::optional<CloneMarker> MarkerFor(const std::string& folder) {
    const std::optional<win::FileIdentity> identity = win::IdentityOf(folder);
    if (!identity) return std::nullopt;
    return CloneMarker{identity->volume, identity->index};
}

}  // namespace

std::string CloneDirRefusal(const StarterSettings& s) {
    const std::string& clone = s.CloneDir;
    if (IsRootOrEmpty(clone)) return "it is a drive root or empty";
    if (win::IsLinkPath(clone)) return "it is a link to another folder";

    const DWORD attributes = ::GetFileAttributesA(clone.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return {};  // made afresh by the start
    if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) return "it is a file";
    if (win::IdentityChain(clone).size() <= 1) return "it is a drive root";

    const std::pair<std::string, std::string> needed[] = {
        {s.CopyDir, "the game folder "},
        {s.AppDir, "the starter's own folder "},
        {FolderOf(s.ExeName), "the folder of EXENAME= "},
        {FolderOf(s.ExeName2), "the folder of EXENAME2= "},
        {FolderOf(s.AppDir + s.NewLauncher), "the folder of the new launcher file "},
    };
    for (const auto& [folder, what] : needed)
        if (win::IsSameOrInsideOnDisk(folder, clone)) return "it is or holds " + what + folder;

    if (!IsOwnClone(clone)) return "it was not made by vtwd.exe (it has no clone marker)";
    return {};
}

bool IsOwnClone(const std::string& cloneDir) {
    if (win::IsLinkPath(cloneDir)) return false;
    const std::string markerPath = MarkerPath(cloneDir);
    const DWORD attributes = ::GetFileAttributesA(markerPath.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)))
        return false;
    std::string text;
    try {
        text = win::ReadWholeFile(markerPath);
    } catch (const std::exception&) {
        return false;
    }
    const std::optional<CloneMarker> recorded = ParseCloneMarker(text);
    return recorded && recorded == MarkerFor(cloneDir);
}

bool MakeOwnClone(const std::string& cloneDir) {
    const bool made = ::CreateDirectoryA(cloneDir.c_str(), nullptr) != 0;
    const std::optional<CloneMarker> marker = MarkerFor(cloneDir);
    bool marked = false;
    if (marker && !win::IsLinkPath(cloneDir)) {
        // Written like every file the starter puts in place, so a marker is
        // either whole or absent.
        const std::string markerPath = MarkerPath(cloneDir);
        marked = win::WriteFileReplacing(markerPath, CloneMarkerText(*marker));
        // Hidden: players need not see it, and it is never in the game's way.
        if (marked) ::SetFileAttributesA(markerPath.c_str(), FILE_ATTRIBUTE_HIDDEN);
    }
    if (!marked && made) ::RemoveDirectoryA(cloneDir.c_str());
    return marked;
}

void RemoveOwnClone(const std::string& cloneDir) {
    if (!IsOwnClone(cloneDir)) return;
    RemoveFolderTree(cloneDir, kCloneMarkerName);
}

}  // namespace vt::starter
