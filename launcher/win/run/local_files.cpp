#include "launcher/win/run/local_files.h"

#include <windows.h>

#include <vector>

#include "platform/win/files.h"
#include "platform/win/handles.h"
#include "platform/win/text_codes.h"

namespace vt::launcher {
namespace {

// UTC file time to the local wall clock, with the zone's current bias, as
// FileTimeToLocalFileTime does.
DateValue ToLocalDateValue(const FILETIME& utc) {
    FILETIME local{};
    SYSTEMTIME t{};
    ::FileTimeToLocalFileTime(&utc, &local);
    ::FileTimeToSystemTime(&local, &t);
    return MakeDateValue(t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond).value_or(0.0);
}

}  // namespace

LocalFileLook LookAtLocalFile(const std::string& path) {
    LocalFileLook look;
    win::UniqueFileHandle file(::CreateFileW(win::PathW(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                             OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    // Times and attributes (FileBasicInfo) and the size: not
    // GetFileInformationByHandle, which also asks for the volume's serial
    // number and under Wine made a no-op run three times slower.
    FILE_BASIC_INFO basic{};
    LARGE_INTEGER size{};
    if (!file || !::GetFileInformationByHandleEx(file.get(), FileBasicInfo, &basic, sizeof basic) ||
        !::GetFileSizeEx(file.get(), &size)) {
        // Not there, or there and not to be opened: only then the second
        // question (FileExists also answers for a name with wildcards as the
        // folder listing does).
        file.reset();
        look.state = win::FileExists(path) ? LocalFileLook::State::Unreadable : LocalFileLook::State::Missing;
        return look;
    }
    file.reset();
    if (basic.FileAttributes & FILE_ATTRIBUTE_DIRECTORY) return look;  // a folder is no file: Missing
    if (basic.FileAttributes & FILE_ATTRIBUTE_READONLY)
        ::SetFileAttributesW(win::PathW(path).c_str(), basic.FileAttributes & ~static_cast<DWORD>(FILE_ATTRIBUTE_READONLY));
    FILETIME written{};
    written.dwLowDateTime = static_cast<DWORD>(basic.LastWriteTime.QuadPart);
    written.dwHighDateTime = static_cast<DWORD>(basic.LastWriteTime.QuadPart >> 32);
    look.state = LocalFileLook::State::Present;
    look.lastWritten = ToLocalDateValue(written);
    look.facts.size = static_cast<std::uint64_t>(size.QuadPart);
    look.facts.written = static_cast<std::uint64_t>(basic.LastWriteTime.QuadPart);
    return look;
}

void ClearReadOnly(const std::string& FileName) {
    const DWORD attributes = ::GetFileAttributesW(win::PathW(FileName).c_str());
    // Writing back unchanged attributes changes nothing, and under Wine costs
    // fifteen times the read: only a read-only file is written to.
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_READONLY) == 0) return;
    ::SetFileAttributesW(win::PathW(FileName).c_str(), attributes & ~static_cast<DWORD>(FILE_ATTRIBUTE_READONLY));
}

void CreateFolderPath(const std::string& Path) {
    std::string accumulated;
    std::size_t start = 0;
    // A path on a network share keeps "\\server\share\" as its root, which is
    // never created; without this the leading "\\" was dropped and stray
    // "server\share\..." folders appeared relative to the current folder.
    if (Path.rfind("\\\\", 0) == 0) {
        const std::size_t serverEnd = Path.find('\\', 2);
        const std::size_t shareEnd = serverEnd == std::string::npos ? std::string::npos : Path.find('\\', serverEnd + 1);
        if (shareEnd == std::string::npos) return;  // nothing below the share root
        accumulated = Path.substr(0, shareEnd + 1);
        start = shareEnd + 1;
    }
    std::vector<std::wstring> folders;  // each folder along the path, outermost first
    while (start <= Path.size()) {
        std::size_t end = Path.find('\\', start);
        if (end == std::string::npos) end = Path.size();
        const std::string component = Path.substr(start, end - start);
        start = end + 1;
        if (component.empty()) continue;
        accumulated += component + "\\";
        if (component.back() != ':') folders.push_back(win::PathW(accumulated));
    }
    // Up from the deepest while the parent is missing, as 7-Zip's
    // CreateComplexDir does; "exists" (a folder, or a file in the way) and any
    // other failure end the climb, and the way down makes what is left.
    std::size_t made = folders.size();
    while (made > 0) {
        if (::CreateDirectoryW(folders[made - 1].c_str(), nullptr) || ::GetLastError() != ERROR_PATH_NOT_FOUND) break;
        --made;
    }
    for (; made < folders.size(); ++made) ::CreateDirectoryW(folders[made].c_str(), nullptr);
}

void RunFolders::Make(const std::string& folder) {
    if (made_.insert(win::FileNameKey(folder)).second) CreateFolderPath(folder);
}

}  // namespace vt::launcher
