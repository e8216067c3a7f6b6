#include "platform/win/files.h"

#include <climits>
#include <vector>

#include "platform/text.h"
#include "platform/win/failure.h"
#include "platform/win/handles.h"
#include "platform/win/held_file.h"
#include "platform/win/text_codes.h"

namespace vt::win {

bool OrdinaryFileExists(const std::string& path) {
    const DWORD attributes = ::GetFileAttributesW(PathW(path).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return false;
    return (attributes & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_DIRECTORY)) == 0;
}

UniqueFileHandle OpenShared(const std::string& path, DWORD flags) {
    return UniqueFileHandle(::CreateFileW(PathW(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                          OPEN_EXISTING, flags, nullptr));
}

UniqueFileHandle OpenSteady(const std::string& path, DWORD flags) {
    const std::wstring wide = PathW(path);
    UniqueFileHandle file;
    WhileHeld(path, HoldBound::Use, [&] {
        file.reset(::CreateFileW(wide.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                 flags, nullptr));
        return static_cast<bool>(file);
    });
    return file;
}

UniqueFileHandle OpenAlone(const std::string& path, DWORD access, DWORD disposition, DWORD flags) {
    return UniqueFileHandle(::CreateFileW(PathW(path).c_str(), access, 0, nullptr, disposition, flags, nullptr));
}

FileFacts FactsOf(const WIN32_FILE_ATTRIBUTE_DATA& data) {
    return FileFacts{(std::uint64_t{data.nFileSizeHigh} << 32) | data.nFileSizeLow,
                     (std::uint64_t{data.ftLastWriteTime.dwHighDateTime} << 32) | data.ftLastWriteTime.dwLowDateTime};
}

std::optional<FileFacts> ReadFileFacts(const std::string& path, bool refuseLinks) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    const DWORD refused = FILE_ATTRIBUTE_DIRECTORY | (refuseLinks ? FILE_ATTRIBUTE_REPARSE_POINT : 0);
    if (!::GetFileAttributesExW(PathW(path).c_str(), GetFileExInfoStandard, &data) || (data.dwFileAttributes & refused))
        return std::nullopt;
    return FactsOf(data);
}

bool FileExists(const std::string& path) {
    // The quick answer first: Wine's FindFirstFileA costs about twenty times
    // a GetFileAttributesA (it lists the folder), which matters for a patch
    // list of thousands of entries. A name with wildcards, and any failure
    // other than "not there", get the search itself, so the answers and the
    // errors are the search's.
    if (path.find_first_of("*?") == std::string::npos) {
        const DWORD attributes = ::GetFileAttributesW(PathW(path).c_str());
        if (attributes != INVALID_FILE_ATTRIBUTES) return (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
        const DWORD error = ::GetLastError();
        if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) return false;
    }
    WIN32_FIND_DATAW entry;
    UniqueFindHandle search(::FindFirstFileW(PathW(path).c_str(), &entry));
    if (!search) {
        // A removable drive without a medium is a question the search cannot
        // answer; every other refusal means there is no such file.
        const DWORD error = ::GetLastError();
        if (error == ERROR_NOT_READY) ThrowSystemError("Cannot search for " + path, error);
        return false;
    }
    do {
        if ((entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) return true;
    } while (::FindNextFileW(search.get(), &entry));
    return false;
}

std::string ReadWholeFile(const std::string& path) {
    UniqueFileHandle file;
    if (!WhileHeld(path, HoldBound::Use, [&] { return static_cast<bool>(file = OpenShared(path)); }))
        ThrowSystemError("Cannot open " + path);

    std::string content;
    char buffer[64 * 1024];
    for (;;) {
        DWORD got = 0;
        if (!::ReadFile(file.get(), buffer, sizeof buffer, &got, nullptr)) ThrowSystemError("Cannot read " + path);
        if (got == 0) break;
        content.append(buffer, got);
    }
    return content;
}

std::string FullPathKey(const std::string& path) {
    const std::wstring wide = Wide(path);
    std::vector<wchar_t> full(wide.size() + MAX_PATH);
    for (int i = 0; i < 3; ++i) {
        const DWORD length = ::GetFullPathNameW(wide.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
        if (length == 0) break;
        if (length < full.size()) return FileNameKey(Narrow(std::wstring_view(full.data(), length)));
        full.resize(length + 1);
    }
    return FileNameKey(path);  // the system would not resolve it: its spelling is all there is
}

std::string WithoutLongPrefix(std::string path) {
    if (StartsWith(path, "\\\\?\\UNC\\")) return "\\\\" + path.substr(8);
    if (StartsWith(path, "\\\\?\\")) return path.substr(4);
    return path;
}

std::string ProgramFolder() {
    std::vector<wchar_t> buffer(MAX_PATH);
    for (;;) {
        const DWORD length = ::GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (length == 0) ThrowSystemError("Cannot find the program's own file");
        if (length < buffer.size()) {
            // Started through a long path, the name may carry "\\?\": inside,
            // paths go without it (PathW adds it where needed).
            std::string path = WithoutLongPrefix(Narrow(std::wstring_view(buffer.data(), length)));
            const std::size_t slash = path.find_last_of('\\');
            if (slash == std::string::npos) return path;
            // "C:\x.exe" lies in the root "C:\": keep the root's backslash.
            const bool root = slash == 2 && path[1] == ':';
            return path.substr(0, root ? slash + 1 : slash);
        }
        buffer.resize(buffer.size() * 2);
    }
}

bool SameFileName(std::string_view a, std::string_view b) {
    const std::wstring wideA = Wide(a), wideB = Wide(b);
    if (wideA.size() > INT_MAX || wideB.size() > INT_MAX) return false;
    return ::CompareStringOrdinal(wideA.data(), static_cast<int>(wideA.size()), wideB.data(),
                                  static_cast<int>(wideB.size()), TRUE) == CSTR_EQUAL;
}

std::string FileNameKey(std::string_view name) {
    std::wstring wide = Wide(name);
    if (!wide.empty() && wide.size() <= MAXDWORD) ::CharUpperBuffW(wide.data(), static_cast<DWORD>(wide.size()));
    return Narrow(wide);
}

bool DeleteClearingAttributes(const std::string& path) {
    ::SetFileAttributesW(PathW(path).c_str(), FILE_ATTRIBUTE_NORMAL);
    return DeleteWaiting(path);
}

bool DeleteWaiting(const std::string& path) {
    const std::wstring wide = PathW(path);
    return WhileHeldOrDenied(path, HoldBound::Use, [&] { return ::DeleteFileW(wide.c_str()) != FALSE; });
}

}  // namespace vt::win
