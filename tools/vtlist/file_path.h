// Paths in vtlist are UTF-8 texts, as the patch list holds them, on every
// system. std::filesystem and the file streams take a path made by FsPath,
// which reads the text as UTF-8 (on Windows a plain std::string would be read
// in the ANSI code page, and a name like "forêt.ini" or "Игра" would not be
// found, nor one longer than MAX_PATH); Utf8Of gives a path back as UTF-8 text.
#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#ifdef _WIN32
#include <windows.h>

#include "platform/win/text_codes.h"
#endif

namespace vt::vtlist {

inline std::filesystem::path FsPath(std::string_view utf8) {
#ifdef _WIN32
    // With the long-path prefix where a path needs it (text_codes.h).
    return std::filesystem::path(win::PathW(utf8));
#else
    return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
#endif
}

// A folder to walk: on Windows absolute and with the long-path prefix, so
// that every entry below it, however deep, can be read.
inline std::filesystem::path FsTree(std::string_view utf8) {
#ifdef _WIN32
    return std::filesystem::path(win::PrefixedPathW(utf8));
#else
    return FsPath(utf8);
#endif
}

// With "/" between names when `generic`, else the system's separator.
inline std::string Utf8Of(const std::filesystem::path& path, bool generic = false) {
    const std::u8string text = generic ? path.generic_u8string() : path.u8string();
    return std::string(text.begin(), text.end());
}

// What is at a path: a folder, a link to a folder (never walked into: a
// link can lead back up), a file (through a link too, as a web server serves
// it), or neither. Asked of the system on Windows, as FileStateOf.
enum class PathKind { None, Folder, LinkedFolder, File };
inline PathKind KindOf(const std::filesystem::path& path) {
#ifdef _WIN32
    const DWORD attributes = ::GetFileAttributesW(win::PathW(Utf8Of(path)).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return PathKind::None;
    if (attributes & FILE_ATTRIBUTE_DIRECTORY)
        return attributes & FILE_ATTRIBUTE_REPARSE_POINT ? PathKind::LinkedFolder : PathKind::Folder;
    return PathKind::File;
#else
    std::error_code error;
    const std::filesystem::file_status status = std::filesystem::status(path, error);
    if (error) return PathKind::None;
    if (std::filesystem::is_directory(status))
        return std::filesystem::is_symlink(std::filesystem::symlink_status(path, error)) ? PathKind::LinkedFolder
                                                                                           : PathKind::Folder;
    return std::filesystem::is_regular_file(status) ? PathKind::File : PathKind::None;
#endif
}

// Whether `path` is itself a link (whatever it leads to, if anything).
inline bool KindOfLink(const std::filesystem::path& path) {
    std::error_code error;
    return std::filesystem::is_symlink(std::filesystem::symlink_status(path, error)) && !error;
}

// A file's size and last-write time, asked of the system itself on Windows:
// the C runtime's stat behind std::filesystem::file_size and last_write_time
// refuses a path with the long-path prefix. Nothing when it cannot be read.
struct FileState {
    std::uintmax_t size = 0;
    std::chrono::system_clock::time_point written{};
    bool operator==(const FileState& other) const { return size == other.size && written == other.written; }
};

inline std::optional<FileState> FileStateOf(std::string_view utf8) {
#ifdef _WIN32
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!::GetFileAttributesExW(win::PathW(utf8).c_str(), GetFileExInfoStandard, &data)) return std::nullopt;
    const std::uint64_t ticks =  // 100 ns since 1601
        (std::uint64_t{data.ftLastWriteTime.dwHighDateTime} << 32) | data.ftLastWriteTime.dwLowDateTime;
    constexpr std::uint64_t kUnixEpochTicks = 116444736000000000ull;
    FileState state;
    state.size = (std::uintmax_t{data.nFileSizeHigh} << 32) | data.nFileSizeLow;
    state.written = std::chrono::system_clock::time_point(std::chrono::duration_cast<std::chrono::system_clock::duration>(
        std::chrono::nanoseconds((static_cast<std::int64_t>(ticks) - static_cast<std::int64_t>(kUnixEpochTicks)) * 100)));
    return state;
#else
    std::error_code error;
    FileState state;
    const std::filesystem::path path = FsPath(utf8);
    state.size = std::filesystem::file_size(path, error);
    if (error) return std::nullopt;
    const auto written = std::filesystem::last_write_time(path, error);
    if (error) return std::nullopt;
    state.written = std::chrono::time_point_cast<std::chrono::system_clock::duration>(
        std::chrono::file_clock::to_sys(written));
    return state;
#endif
}

}  // namespace vt::vtlist
