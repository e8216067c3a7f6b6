#include "platform/win/file_identity.h"

#include "platform/text.h"
#include "platform/win/files.h"
#include "platform/win/handles.h"
#include "platform/win/text_codes.h"

namespace vt::win {
namespace {

// Opens for no access at all: enough for the identity and the final path, and
// it shares everything, so nobody else's use of the file is disturbed.
UniqueFileHandle OpenForIdentity(const std::string& path) {
    return UniqueFileHandle(::CreateFileW(PathW(path).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                          nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
}

std::optional<FileIdentity> IdentityOfHandle(HANDLE file) {
    BY_HANDLE_FILE_INFORMATION info{};
    if (!::GetFileInformationByHandle(file, &info)) return std::nullopt;
    return FileIdentity{info.dwVolumeSerialNumber,
                        (static_cast<ULONGLONG>(info.nFileIndexHigh) << 32) | info.nFileIndexLow};
}

std::string FullPath(const std::string& path) {
    const std::wstring wide = PathW(path);
    std::wstring buffer(MAX_PATH, L'\0');
    for (int i = 0; i < 4; ++i) {
        const DWORD length = ::GetFullPathNameW(wide.c_str(), static_cast<DWORD>(buffer.size()), buffer.data(), nullptr);
        if (length == 0) return {};
        if (length < buffer.size()) return WithoutLongPrefix(Narrow(std::wstring_view(buffer.data(), length)));
        buffer.assign(length + 1, L'\0');
    }
    return {};
}

// The path the system resolved `file` to ("\\?\C:\a\b" or "\\?\UNC\srv\share\a"),
// turned back into an ordinary one; empty when it cannot be had.
std::string FinalPath(HANDLE file) {
    std::wstring buffer(MAX_PATH, L'\0');
    for (int i = 0; i < 4; ++i) {
        const DWORD length = ::GetFinalPathNameByHandleW(file, buffer.data(), static_cast<DWORD>(buffer.size()),
                                                         FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
        if (length == 0) return {};
        if (length < buffer.size()) return WithoutLongPrefix(Narrow(std::wstring_view(buffer.data(), length)));
        buffer.assign(length + 1, L'\0');
    }
    return {};
}

// "C:\a\b" gives "C:\a", "C:\a" gives "C:\", "\\srv\share\a" gives
// "\\srv\share"; a root (or a path without one) gives nothing.
std::string ParentOf(const std::string& path) {
    std::string p = path;
    while (p.size() > 1 && p.back() == '\\') p.pop_back();
    std::size_t rootLength = 0;
    if (StartsWith(p, "\\\\")) {
        const std::size_t serverEnd = p.find('\\', 2);
        if (serverEnd == std::string::npos) return {};
        rootLength = p.find('\\', serverEnd + 1);
        if (rootLength == std::string::npos) return {};
    } else if (p.size() >= 2 && p[1] == ':') {
        rootLength = 2;
    } else {
        return {};
    }
    if (p.size() <= rootLength) return {};
    const std::size_t slash = p.find_last_of('\\');
    if (slash == std::string::npos || slash < rootLength) return {};
    if (slash == rootLength) return rootLength == 2 ? p.substr(0, 3) : p.substr(0, rootLength);
    return p.substr(0, slash);
}

}  // namespace

std::optional<FileIdentity> IdentityOf(HANDLE file) { return IdentityOfHandle(file); }

std::optional<FileIdentity> IdentityOf(const std::string& path) {
    UniqueFileHandle file = OpenForIdentity(path);
    if (!file) return std::nullopt;
    return IdentityOfHandle(file.get());
}

std::optional<FileIdentity> IdentityOfEntry(const std::string& path) {
    UniqueFileHandle file(::CreateFileW(PathW(path).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                        OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!file) return std::nullopt;
    return IdentityOfHandle(file.get());
}

std::string NearestExistingPath(const std::string& path) {
    std::string current = FullPath(path);
    for (int depth = 0; depth < 512 && !current.empty(); ++depth) {
        if (::GetFileAttributesW(PathW(current).c_str()) != INVALID_FILE_ATTRIBUTES) return current;
        current = ParentOf(current);
    }
    return {};
}

std::vector<FileIdentity> IdentityChain(const std::string& path) {
    std::vector<FileIdentity> chain;
    const std::string nearest = NearestExistingPath(path);
    if (nearest.empty()) return chain;
    std::string current;
    {
        UniqueFileHandle file = OpenForIdentity(nearest);
        if (!file) return chain;
        if (const auto identity = IdentityOfHandle(file.get())) chain.push_back(*identity);
        // Where the file really is: its holders are the holders of this path,
        // not of the link it may have been reached through.
        current = FinalPath(file.get());
        if (current.empty()) current = nearest;
    }
    for (int depth = 0; depth < 512; ++depth) {
        current = ParentOf(current);
        if (current.empty()) break;
        if (const auto identity = IdentityOf(current)) chain.push_back(*identity);
    }
    return chain;
}

bool IsSameOrInsideOnDisk(const std::string& inner, const std::string& outer) {
    const std::optional<FileIdentity> outerIdentity = IdentityOf(outer);
    if (!outerIdentity) return false;
    for (const FileIdentity& identity : IdentityChain(inner))
        if (identity == *outerIdentity) return true;
    return false;
}

bool IsLinkPath(const std::string& path) {
    std::string p = path;
    while (p.size() > 3 && (p.back() == '\\' || p.back() == '/')) p.pop_back();
    const DWORD attributes = ::GetFileAttributesW(PathW(p).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

}  // namespace vt::win
