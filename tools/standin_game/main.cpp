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

#include <algorithm>
#include <string>
#include <vector>

namespace {

std::string Env(const char* name) {
    char buffer[4096];
    const DWORD n = ::GetEnvironmentVariableA(name, buffer, sizeof buffer);
    return n && n < sizeof buffer ? std::string(buffer, n) : std::string();
}

std::string ModulePath() {
    char buffer[MAX_PATH];
    return std::string(buffer, ::GetModuleFileNameA(nullptr, buffer, MAX_PATH));
}

std::string Report() {
    const std::string exe = ModulePath();
    char folder[MAX_PATH];
    ::GetCurrentDirectoryA(MAX_PATH, folder);
    WIN32_FILE_ATTRIBUTE_DATA data{};
    ::GetFileAttributesExA(exe.c_str(), GetFileExInfoStandard, &data);

    std::vector<std::string> names;
    WIN32_FIND_DATAA entry;
    HANDLE search = ::FindFirstFileA((exe.substr(0, exe.find_last_of('\\') + 1) + "*").c_str(), &entry);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            const std::string name = entry.cFileName;
            if (name != "." && name != "..") names.push_back(name);
        } while (::FindNextFileA(search, &entry));
        ::FindClose(search);
    }
    std::sort(names.begin(), names.end());
    std::string files;
    for (const std::string& name : names) {
        if (!files.empty()) files += '|';
        files += name;
    }

    return "command=" + std::string(::GetCommandLineA()) + "\r\nfolder=" + folder + "\r\nexe=" + exe +
           "\r\nsize=" + std::to_string(data.nFileSizeLow) + "\r\nfiles=" + files + "\r\n";
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    const std::string reportPath = Env("VT_STANDIN_REPORT");
    if (!reportPath.empty()) {
        const std::string text = Report();
        HANDLE file = ::CreateFileA(reportPath.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        DWORD written = 0;
        if (file != INVALID_HANDLE_VALUE) {
            ::WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
            ::CloseHandle(file);
        }
    }
    if (Env("VT_STANDIN_CHILD") == "1") {
        const std::string childMs = Env("VT_STANDIN_CHILD_MS");
        ::SetEnvironmentVariableA("VT_STANDIN_CHILD", "0");
        ::SetEnvironmentVariableA("VT_STANDIN_REPORT", (reportPath + ".child").c_str());
        ::SetEnvironmentVariableA("VT_STANDIN_SLEEP_MS", childMs.empty() ? "3000" : childMs.c_str());
        std::string line = "\"" + ModulePath() + "\" child";
        STARTUPINFOA startup{};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION child{};
        if (::CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &child)) {
            ::CloseHandle(child.hThread);
            ::CloseHandle(child.hProcess);
        }
        return 0;
    }
    if (Env("VT_STANDIN_SHOW") == "1") {
        const std::string text = "The game would run now.\r\n\r\n" + Report();
        ::MessageBoxA(nullptr, text.c_str(), "Skyreach (stand-in)", MB_OK | MB_ICONINFORMATION | MB_SETFOREGROUND);
    }
    const std::string sleepMs = Env("VT_STANDIN_SLEEP_MS");
    if (!sleepMs.empty()) ::Sleep(static_cast<DWORD>(std::stoul(sleepMs)));
    return 0;
}
