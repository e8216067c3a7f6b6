#include "platform/win/program_log.h"
#include "platform/text.h"
#include "platform/win/text_codes.h"

#include <windows.h>
#include <shlobj.h>

#include <cstdio>

#include "platform/win/failure.h"

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

HANDLE CreateLogFile(const std::string& path) {
    // Readers may look while the program runs; the next start rewrites it.
    return ::CreateFileW(PathW(path).c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr, CREATE_ALWAYS,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
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
