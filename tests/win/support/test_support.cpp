#include "test_support.h"

#include <cstdlib>
#include <stdexcept>
#include <vector>

#include "platform/win/text_codes.h"

namespace vt::test {
namespace {

std::string EnvFolder(const char* name) {
    char buffer[4096];
    const DWORD n = ::GetEnvironmentVariableA(name, buffer, sizeof buffer);
    if (n == 0 || n >= sizeof buffer) throw std::runtime_error(std::string(name) + " is not set; run the test from ctest");
    std::string path(buffer, n);
    if (path.back() != '\\') path += '\\';
    return path;
}

void Check(bool ok, const std::string& what) {
    if (!ok) throw std::runtime_error(what + " failed, error " + std::to_string(::GetLastError()));
}

}  // namespace

std::string BuildDir() { return EnvFolder("VT_BUILD_DIR"); }
std::string SourceDir() { return EnvFolder("VT_SOURCE_DIR"); }
std::string TlsDir() { return EnvFolder("VT_TLS_DIR"); }

int TlsPort(const std::string& name) {
    const std::string text = ReadFileBytes(TlsDir() + name + ".port");
    return text.empty() ? 0 : std::atoi(text.c_str());
}

TempDir::TempDir() : TempDir([] {
    char temp[MAX_PATH];
    ::GetTempPathA(MAX_PATH, temp);
    return std::string(temp);
}()) {}

TempDir::TempDir(const std::string& temp) {
    static LONG counter = 0;
    for (int attempt = 0; attempt < 100; ++attempt) {
        path_ = std::string(temp) + "vt-test-" + std::to_string(::GetCurrentProcessId()) + "-" +
                std::to_string(::InterlockedIncrement(&counter)) + "\\";
        if (::CreateDirectoryW(win::PathW(path_).c_str(), nullptr)) return;
    }
    throw std::runtime_error("cannot create a scratch folder");
}

TempDir::~TempDir() { RemoveTree(path_); }

std::string SmallDisk() {
    char value[MAX_PATH] = {};
    const DWORD n = ::GetEnvironmentVariableA("VT_SMALL_DISK", value, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) return {};
    std::string path(value, n);
    if (path.back() != '\\') path += '\\';
    return path;
}

std::uint64_t FreeBytes(const std::string& folder) {
    ULARGE_INTEGER free{};
    if (!::GetDiskFreeSpaceExW(win::PathW(folder).c_str(), &free, nullptr, nullptr)) return 0;
    return free.QuadPart;
}

void WriteFileBytes(const std::string& path, const std::string& bytes) {
    HANDLE h = ::CreateFileW(win::PathW(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    Check(h != INVALID_HANDLE_VALUE, "create " + path);
    DWORD written = 0;
    const BOOL ok = ::WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    ::CloseHandle(h);
    Check(ok && written == bytes.size(), "write " + path);
}

std::string ReadFileBytes(const std::string& path) {
    HANDLE h = ::CreateFileW(win::PathW(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                             nullptr, OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) return {};
    std::string bytes;
    char buffer[65536];
    DWORD got = 0;
    while (::ReadFile(h, buffer, sizeof buffer, &got, nullptr) && got > 0) bytes.append(buffer, got);
    ::CloseHandle(h);
    return bytes;
}

void MakeFolder(const std::string& path) { Check(::CreateDirectoryW(win::PathW(path).c_str(), nullptr), "create folder " + path); }

void SetAttributes(const std::string& path, DWORD attributes) {
    Check(::SetFileAttributesW(win::PathW(path).c_str(), attributes), "set attributes of " + path);
}

DWORD Attributes(const std::string& path) { return ::GetFileAttributesW(win::PathW(path).c_str()); }

bool PathExists(const std::string& path) { return Attributes(path) != INVALID_FILE_ATTRIBUTES; }

void RemoveTree(const std::string& path) {
    std::string folder = path;
    while (!folder.empty() && folder.back() == '\\') folder.pop_back();
    const DWORD attributes = ::GetFileAttributesW(win::PathW(folder).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return;
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) && !(attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
        WIN32_FIND_DATAW entry;
        HANDLE search = ::FindFirstFileW(win::PathW((folder + "\\*")).c_str(), &entry);
        if (search != INVALID_HANDLE_VALUE) {
            std::vector<std::string> names;
            do {
                const std::string name = win::Narrow(entry.cFileName);
                if (name != "." && name != "..") names.push_back(name);
            } while (::FindNextFileW(search, &entry));
            ::FindClose(search);
            for (const std::string& name : names) RemoveTree(folder + "\\" + name);
        }
        ::SetFileAttributesW(win::PathW(folder).c_str(), FILE_ATTRIBUTE_NORMAL);
        ::RemoveDirectoryW(win::PathW(folder).c_str());
    } else {
        ::SetFileAttributesW(win::PathW(folder).c_str(), FILE_ATTRIBUTE_NORMAL);
        if (!::DeleteFileW(win::PathW(folder).c_str())) ::RemoveDirectoryW(win::PathW(folder).c_str());
    }
}

namespace {

void Snapshot(const std::string& folder, const std::string& prefix, std::map<std::string, std::string>& into) {
    WIN32_FIND_DATAW entry;
    HANDLE search = ::FindFirstFileW(win::PathW((folder + "\\*")).c_str(), &entry);
    if (search == INVALID_HANDLE_VALUE) return;
    std::vector<std::string> folders;
    do {
        const std::string name = win::Narrow(entry.cFileName);
        if (name == "." || name == "..") continue;
        if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            into[prefix + name] = "<dir>";
            if (!(entry.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) folders.push_back(name);
        } else {
            into[prefix + name] = ReadFileBytes(folder + "\\" + name);
        }
    } while (::FindNextFileW(search, &entry));
    ::FindClose(search);
    for (const std::string& name : folders) Snapshot(folder + "\\" + name, prefix + name + "\\", into);
}

}  // namespace

std::string UnixPathOf(const std::string& windowsPath) {
    using Fn = char*(CDECL*)(const WCHAR*);
    auto toUnix = reinterpret_cast<Fn>(
        reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleA("kernel32.dll"), "wine_get_unix_file_name")));
    if (!toUnix) return {};
    const std::wstring wide = win::Wide(windowsPath);
    char* unix = toUnix(wide.c_str());
    if (!unix) return {};
    std::string result = unix;
    ::HeapFree(::GetProcessHeap(), 0, unix);
    return result;
}

std::map<std::string, std::string> TreeSnapshot(const std::string& path) {
    std::string folder = path;
    while (!folder.empty() && folder.back() == '\\') folder.pop_back();
    std::map<std::string, std::string> result;
    Snapshot(folder, "", result);
    return result;
}

bool MakeUnixSymlink(const std::string& target, const std::string& link) {
    std::string linkPath = link;
    while (!linkPath.empty() && linkPath.back() == '\\') linkPath.pop_back();
    const std::size_t slash = linkPath.find_last_of('\\');
    const std::string unixTarget = UnixPathOf(target);
    const std::string unixParent = UnixPathOf(linkPath.substr(0, slash));
    if (unixTarget.empty() || unixParent.empty()) return false;
    std::string command = "/bin/ln -s \"" + unixTarget + "\" \"" + unixParent + "/" + linkPath.substr(slash + 1) + "\"";
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!::CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process))
        return false;
    ::WaitForSingleObject(process.hProcess, 10000);
    ::CloseHandle(process.hThread);
    ::CloseHandle(process.hProcess);
    // Wine may signal a Unix process's end before it has run.
    for (int i = 0; i < 100; ++i, ::Sleep(50)) {
        const DWORD attributes = Attributes(linkPath);
        if (attributes != INVALID_FILE_ATTRIBUTES) return true;
    }
    return false;
}

std::string ShortPath(const std::string& path) {
    char buffer[MAX_PATH] = {};
    const DWORD length = ::GetShortPathNameA(path.c_str(), buffer, MAX_PATH);
    return length && length < MAX_PATH ? std::string(buffer, length) : std::string();
}

win::UniqueKernelHandle StartProgram(const std::string& commandLine, const std::string& folder, DWORD* processId) {
    // A program or folder past MAX_PATH is given by its short name, as a
    // shell does: CreateProcess takes no longer one.
    auto shortened = [](const std::string& path) {
        if (path.size() < MAX_PATH - 12) return win::Wide(path);
        wchar_t buffer[MAX_PATH] = {};
        const DWORD length = ::GetShortPathNameW(win::PathW(path).c_str(), buffer, MAX_PATH);
        std::wstring result = length && length < MAX_PATH ? std::wstring(buffer, length) : win::Wide(path);
        if (result.rfind(L"\\\\?\\", 0) == 0) result.erase(0, 4);
        return result;
    };
    std::wstring line = win::Wide(commandLine);  // CreateProcessW may write into it
    if (commandLine.size() > 2 && commandLine[0] == '"') {
        const std::size_t close = commandLine.find('"', 1);
        if (close != std::string::npos)
            line = L"\"" + shortened(commandLine.substr(1, close - 1)) + L"\"" + win::Wide(commandLine.substr(close + 1));
    }
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!::CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, shortened(folder).c_str(), &startup,
                          &process))
        return {};
    ::CloseHandle(process.hThread);
    if (processId) *processId = process.dwProcessId;
    return win::UniqueKernelHandle(process.hProcess);
}

void SetLocalWriteTime(const std::string& path, int year, int month, int day, int hour, int minute, int second,
                       int milliseconds) {
    SYSTEMTIME local{};
    local.wYear = static_cast<WORD>(year);
    local.wMonth = static_cast<WORD>(month);
    local.wDay = static_cast<WORD>(day);
    local.wHour = static_cast<WORD>(hour);
    local.wMinute = static_cast<WORD>(minute);
    local.wSecond = static_cast<WORD>(second);
    local.wMilliseconds = static_cast<WORD>(milliseconds);
    FILETIME localTime, utc;
    Check(::SystemTimeToFileTime(&local, &localTime), "SystemTimeToFileTime");
    Check(::LocalFileTimeToFileTime(&localTime, &utc), "LocalFileTimeToFileTime");
    HANDLE h = ::CreateFileW(win::PathW(path).c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                             OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    Check(h != INVALID_HANDLE_VALUE, "open " + path);
    const BOOL ok = ::SetFileTime(h, nullptr, nullptr, &utc);
    ::CloseHandle(h);
    Check(ok, "SetFileTime " + path);
}

HeldFile::HeldFile(const std::string& path, DWORD ms, DWORD share)
    : file_(::CreateFileW(win::PathW(path).c_str(), GENERIC_READ, share, nullptr, OPEN_EXISTING, 0, nullptr)) {
    if (!Held()) return;
    thread_ = std::thread([this, ms] {
        std::unique_lock<std::mutex> lock(mutex_);
        if (ms == kUntilGone) wake_.wait(lock, [this] { return gone_; });
        else wake_.wait_for(lock, std::chrono::milliseconds(ms), [this] { return gone_; });
        ::CloseHandle(file_);
    });
}

HeldFile::~HeldFile() {
    if (!thread_.joinable()) return;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        gone_ = true;
    }
    wake_.notify_all();
    thread_.join();
}

}  // namespace vt::test
