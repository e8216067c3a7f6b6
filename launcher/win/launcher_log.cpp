#include "launcher/win/launcher_log.h"

#include <windows.h>

#include <cstdio>

namespace vt::launcher {
namespace {

constexpr std::size_t kFlushAt = 64 * 1024;

std::string Timestamp() {
    SYSTEMTIME now;
    ::GetLocalTime(&now);
    char text[32];
    std::snprintf(text, sizeof text, "%04u-%02u-%02u %02u:%02u:%02u.%03u", now.wYear, now.wMonth, now.wDay, now.wHour,
                  now.wMinute, now.wSecond, now.wMilliseconds);
    return text;
}

}  // namespace

LauncherLog::LauncherLog(const std::string& path)
    // Readers may look while the launcher runs; the next start rewrites it.
    : file_(::CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr, CREATE_ALWAYS,
                          FILE_ATTRIBUTE_NORMAL, nullptr)) {}

void LauncherLog::Line(std::string_view kind, std::string_view text) {
    const std::string stamp = Timestamp();
    std::lock_guard<std::mutex> lock(mutex_);
    if (!file_) return;
    pending_.append(stamp).append(" ").append(kind).append(" ").append(text).append("\r\n");
    if (pending_.size() >= kFlushAt) FlushLocked();
}

void LauncherLog::Flush() {
    std::lock_guard<std::mutex> lock(mutex_);
    FlushLocked();
}

void LauncherLog::FlushLocked() {
    if (!file_ || pending_.empty()) return;
    DWORD written = 0;
    ::WriteFile(file_.get(), pending_.data(), static_cast<DWORD>(pending_.size()), &written, nullptr);  // a full disk loses log lines, nothing else
    pending_.clear();
}

}  // namespace vt::launcher
