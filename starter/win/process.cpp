#include "starter/win/process.h"

#include <windows.h>

#include <vector>

#include "platform/win/failure.h"
#include "platform/win/handles.h"
#include "starter/start_rules.h"

namespace vt::starter {

void StartAndWait(const std::string& command, const std::string& parameter) {
    const std::string line = BuildGameCommandLine(command, parameter);
    std::vector<char> mutableLine(line.begin(), line.end());
    mutableLine.push_back('\0');
    const std::string folder = FolderOf(command);

    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_SHOWMINIMIZED;
    PROCESS_INFORMATION started{};
    if (!::CreateProcessA(nullptr, mutableLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                          folder.empty() ? nullptr : folder.c_str(), &startup, &started))
        win::ThrowSystemError("Cannot start " + command);
    // Holding the start's own handle until OpenProcess has run keeps the
    // process id from being reused by another process in between.
    win::UniqueKernelHandle process(started.hProcess);
    win::UniqueKernelHandle thread(started.hThread);

    win::UniqueKernelHandle waitable(::OpenProcess(SYNCHRONIZE, FALSE, started.dwProcessId));
    if (waitable) ::WaitForSingleObject(waitable.get(), INFINITE);
}

}  // namespace vt::starter
