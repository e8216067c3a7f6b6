// A stand-in for the game executable, for tests and the demo. It writes how it
// was started to the file named by VT_STANDIN_REPORT:
//   command=<its command line>
//   folder=<its working folder>
//   exe=<its own path>
//   size=<its own file size in bytes>
//   files=<the names beside it, sorted, separated by "|">
// VT_STANDIN_CHILD=1 makes it start a copy of itself that lives on for
// VT_STANDIN_CHILD_MS (default 3000) and then end at once; VT_STANDIN_SLEEP_MS
// makes it wait that long before it ends. VT_STANDIN_SHOW=1 shows how it was
// started in a box titled "Skyreach (stand-in)" and ends when it is closed.
#include <windows.h>

#include "platform/win/text_codes.h"

#include <algorithm>
#include <cwchar>
#include <string>
#include <vector>

namespace {

// Every text here is UTF-8, read and written through the wide functions, so
// that the game runs and reports from a folder with any name.
std::string Utf8(const wchar_t* text, std::size_t length) { return vt::win::Narrow(std::wstring_view(text, length)); }
using vt::win::Wide;

std::string Env(const char* name) {
    wchar_t buffer[4096];
    const DWORD n = ::GetEnvironmentVariableW(Wide(name).c_str(), buffer, 4096);
    return n && n < 4096 ? Utf8(buffer, n) : std::string();
}

std::wstring ModulePathW() {
    std::vector<wchar_t> buffer(32768);
    const DWORD n = ::GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    return std::wstring(buffer.data(), n);
}

std::string Report() {
    const std::wstring exe = ModulePathW();
    std::vector<wchar_t> folder(32768);
    const DWORD folderLength = ::GetCurrentDirectoryW(static_cast<DWORD>(folder.size()), folder.data());
    WIN32_FILE_ATTRIBUTE_DATA data{};
    ::GetFileAttributesExW(exe.c_str(), GetFileExInfoStandard, &data);

    std::vector<std::string> names;
    WIN32_FIND_DATAW entry;
    HANDLE search = ::FindFirstFileW((exe.substr(0, exe.find_last_of(L'\\') + 1) + L"*").c_str(), &entry);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            const std::string name = Utf8(entry.cFileName, wcslen(entry.cFileName));
            if (name != "." && name != "..") names.push_back(name);
        } while (::FindNextFileW(search, &entry));
        ::FindClose(search);
    }
    std::sort(names.begin(), names.end());
    std::string files;
    for (const std::string& name : names) {
        if (!files.empty()) files += '|';
        files += name;
    }
    const wchar_t* command = ::GetCommandLineW();
    return "command=" + Utf8(command, wcslen(command)) + "\r\nfolder=" + Utf8(folder.data(), folderLength) +
           "\r\nexe=" + Utf8(exe.data(), exe.size()) + "\r\nsize=" + std::to_string(data.nFileSizeLow) +
           "\r\nfiles=" + files + "\r\n";
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    const std::string reportPath = Env("VT_STANDIN_REPORT");
    if (!reportPath.empty()) {
        const std::string text = Report();
        HANDLE file = ::CreateFileW(Wide(reportPath).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        DWORD written = 0;
        if (file != INVALID_HANDLE_VALUE) {
            ::WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
            ::CloseHandle(file);
        }
    }
    if (Env("VT_STANDIN_CHILD") == "1") {
        const std::string childMs = Env("VT_STANDIN_CHILD_MS");
        ::SetEnvironmentVariableW(L"VT_STANDIN_CHILD", L"0");
        ::SetEnvironmentVariableW(L"VT_STANDIN_REPORT", Wide(reportPath + ".child").c_str());
        ::SetEnvironmentVariableW(L"VT_STANDIN_SLEEP_MS", childMs.empty() ? L"3000" : Wide(childMs).c_str());
        std::wstring line = L"\"" + ModulePathW() + L"\" child";
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION child{};
        if (::CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &child)) {
            ::CloseHandle(child.hThread);
            ::CloseHandle(child.hProcess);
        }
        return 0;
    }
    if (Env("VT_STANDIN_SHOW") == "1") {
        const std::string text = "The game would run now.\r\n\r\n" + Report();
        ::MessageBoxW(nullptr, Wide(text).c_str(), L"Skyreach (stand-in)", MB_OK | MB_ICONINFORMATION | MB_SETFOREGROUND);
    }
    const std::string sleepMs = Env("VT_STANDIN_SLEEP_MS");
    if (!sleepMs.empty()) ::Sleep(static_cast<DWORD>(std::stoul(sleepMs)));
    return 0;
}
