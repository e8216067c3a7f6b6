#include "starter/win/clone_folder.h"
#include "platform/text.h"
#include "platform/win/text_codes.h"

#include <windows.h>

#include <utility>
#include <vector>

#include "platform/win/failure.h"
#include "platform/win/file_identity.h"
#include "platform/win/files.h"
#include "platform/win/replace_file.h"
#include "starter/start_rules.h"
#include "starter/win/folder_tree.h"

namespace vt::starter {
namespace {

std::string WithBackslash(std::string path) {
    path = WithTrailingBackslash(std::move(path));
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

    const DWORD attributes = ::GetFileAttributesW(win::PathW(clone).c_str());
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

// The marker's record when `cloneDir` is an own clone.
std::optional<CloneRecord> OwnRecord(const std::string& cloneDir) {
    if (win::IsLinkPath(cloneDir)) return std::nullopt;
    const std::string markerPath = MarkerPath(cloneDir);
    const DWORD attributes = ::GetFileAttributesW(win::PathW(markerPath).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)))
        return std::nullopt;
    std::string text;
    try {
        text = win::ReadWholeFile(markerPath);
    } catch (const std::exception&) {
        return std::nullopt;
    }
    std::optional<CloneRecord> record = ParseCloneRecord(text);
    if (!record || record->folder != MarkerFor(cloneDir)) return std::nullopt;
    return record;
}

bool IsOwnClone(const std::string& cloneDir) { return OwnRecord(cloneDir).has_value(); }

CloneRecorder::CloneRecorder(const std::string& cloneDir)
    : marker_(::CreateFileW(win::PathW(MarkerPath(cloneDir)).c_str(), FILE_APPEND_DATA, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_HIDDEN, nullptr)),
      markerPath_(MarkerPath(cloneDir)) {
    if (!marker_) win::ThrowSystemError("Cannot open the clone's marker " + markerPath_);
}

void CloneRecorder::Created(const std::string& path) {
    const std::optional<win::FileIdentity> identity = win::IdentityOfEntry(path);
    if (!identity) win::ThrowSystemError("Cannot read what " + path + " is on disk");
    const std::string line = OwnedEntryLine(CloneMarker{identity->volume, identity->index});
    DWORD done = 0;
    if (!::WriteFile(marker_.get(), line.data(), static_cast<DWORD>(line.size()), &done, nullptr))
        win::ThrowSystemError("Cannot note " + path + " in " + markerPath_);
    if (done != line.size()) win::ThrowSystemError("Cannot note " + path + " in " + markerPath_, ERROR_DISK_FULL);  // a short write: the disk is full
}

bool MakeOwnClone(const std::string& cloneDir) {
    const bool made = ::CreateDirectoryW(win::PathW(cloneDir).c_str(), nullptr) != 0;
    // What a removal cut short left keeps its marker, and with it the notes
    // of what is still in it.
    if (!made && IsOwnClone(cloneDir)) return true;
    const std::optional<CloneMarker> marker = MarkerFor(cloneDir);
    bool marked = false;
    if (marker && !win::IsLinkPath(cloneDir)) {
        // Written like every file the starter puts in place, so a marker is
        // either whole or absent.
        const std::string markerPath = MarkerPath(cloneDir);
        marked = win::WriteFileReplacing(markerPath, CloneMarkerText(*marker));
        // Hidden: players need not see it, and it is never in the game's way.
        if (marked) ::SetFileAttributesW(win::PathW(markerPath).c_str(), FILE_ATTRIBUTE_HIDDEN);
    }
    if (!marked && made) ::RemoveDirectoryW(win::PathW(cloneDir).c_str());
    return marked;
}

void RemoveOwnClone(const std::string& cloneDir) {
    const std::optional<CloneRecord> record = OwnRecord(cloneDir);
    if (!record) return;
    OwnedEntries owned;
    for (const CloneMarker& entry : record->owned) owned.insert({entry.volume, entry.index});
    RemoveFolderTree(cloneDir, kCloneMarkerName, &owned);
}

}  // namespace vt::starter
