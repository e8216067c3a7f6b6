#include "platform/win/program_log.h"
#include "platform/text.h"
#include "platform/win/text_codes.h"

#include <windows.h>
#include <shlobj.h>

#include <cstdio>

#include "platform/win/failure.h"
#include "platform/win/held_file.h"

namespace vt::win {
namespace {

std::string Timestamp() {
    SYSTEMTIME now;
    ::GetLocalTime(&now);
    char text[32];
    std::snprintf(text, sizeof text, "%04u-%02u-%02u %02u:%02u:%02u.%03u", now.wYear, now.wMonth, now.wDay, now.wHour,
                  now.wMinute, now.wSecond, now.wMilliseconds);
    return text;
}

// Whether a program has `path` open for writing: then no open that refuses
// to share writing gets it, while one that shares everything does. That is
// another copy of this program writing its log (a second starter), not a
// scanner's moment, and it will not end soon.
bool OpenForWriting(const std::wstring& path) {
    const auto opens = [&](DWORD share) {
        const UniqueFileHandle file(
            ::CreateFileW(path.c_str(), GENERIC_READ, share, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
        return static_cast<bool>(file);
    };
    return !opens(FILE_SHARE_READ | FILE_SHARE_DELETE) && ::GetLastError() == ERROR_SHARING_VIOLATION &&
           opens(FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE);
}

HANDLE CreateLogFile(const std::string& path) {
    // Readers may look while the program runs; the next start rewrites it.
    // One held a moment (a scanner, a viewer that shares nothing) is waited
    // for; one another copy of the program is writing goes to the fallback
    // place at once.
    const std::wstring wide = PathW(path);
    HANDLE file = INVALID_HANDLE_VALUE;
    WhileHeld(path, HoldBound::Use, [&] {
        file = ::CreateFileW(wide.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr, CREATE_ALWAYS,
                             FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file != INVALID_HANDLE_VALUE) return true;
        const DWORD error = ::GetLastError();
        ::SetLastError(error == ERROR_SHARING_VIOLATION && OpenForWriting(wide) ? ERROR_BUSY : error);
        return false;
    });
    return file;
}

}  // namespace

std::string LocalDataFolder() {
    // The shell's folder API rather than the environment: the programs read
    // no environment variable. shell32 is loaded only here, when the log
    // needs its fallback place, so that an ordinary start does not pay for
    // loading it (under Wine a noticeable part of the start).
    using GetFolderPath = HRESULT(WINAPI*)(HWND, int, HANDLE, DWORD, LPSTR);
    HMODULE shell = ::LoadLibraryA("shell32.dll");
    if (!shell) return {};
    auto getFolderPath =
        reinterpret_cast<GetFolderPath>(reinterpret_cast<void*>(::GetProcAddress(shell, "SHGetFolderPathA")));
    char folder[MAX_PATH] = {};
    const bool found = getFolderPath && SUCCEEDED(getFolderPath(nullptr, CSIDL_LOCAL_APPDATA | CSIDL_FLAG_CREATE, nullptr,
                                                                 SHGFP_TYPE_CURRENT, folder));
    ::FreeLibrary(shell);
    if (!found) return {};
    std::string path = folder;
    if (path.empty()) return {};
    path = WithTrailingBackslash(std::move(path));
    path += "Vortane\\";
    ::CreateDirectoryW(PathW(path).c_str(), nullptr);
    return path;
}

ProgramLog::ProgramLog(const std::string& folder, const std::string& fileName) {
    const std::string besideProgram = folder + fileName;
    file_.reset(CreateLogFile(besideProgram));
    if (file_) {
        path_ = besideProgram;
        return;
    }
    const DWORD code = ::GetLastError();
    fallbackReason_ = besideProgram + " cannot be written: " + SystemErrorText(code);
    const std::string local = LocalDataFolder();
    if (local.empty()) return;
    file_.reset(CreateLogFile(local + fileName));
    if (file_) path_ = local + fileName;
}

ProgramLog::~ProgramLog() {
    if (reportsHeldFiles_) ReportHeldFilesTo(nullptr);
}

void ProgramLog::ReportHeldFiles() {
    ReportHeldFilesTo([this](const std::string& path, std::uint64_t waitedMs, bool freed) {
        Line("HELD", HeldFileLine(path, waitedMs, freed));
    });
    reportsHeldFiles_ = true;
}

void ProgramLog::Line(std::string_view kind, std::string_view text) {
    std::string line = Timestamp();
    line.append(" ").append(kind).append(" ").append(text).append("\r\n");
    std::lock_guard<std::mutex> lock(mutex_);
    if (!file_) return;
    DWORD written = 0;
    // A full disk loses log lines, nothing else.
    ::WriteFile(file_.get(), line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
}

}  // namespace vt::win
