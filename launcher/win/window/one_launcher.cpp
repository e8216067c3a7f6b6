#include "launcher/win/window/one_launcher.h"

#include <vector>

#include "platform/text.h"
#include "platform/win/handles.h"
#include "platform/win/text_codes.h"

namespace vt::launcher {
namespace {

// The folder of the program a process runs, as the system names it.
std::optional<std::string> ProgramFolderOf(DWORD processId) {
    const win::UniqueKernelHandle process(::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, processId));
    if (!process) return std::nullopt;
    std::vector<wchar_t> name(32768);
    DWORD size = static_cast<DWORD>(name.size());
    if (!::QueryFullProcessImageNameW(process.get(), 0, name.data(), &size)) return std::nullopt;
    const std::string path = win::Narrow(std::wstring(name.data(), size));
    std::string folder = FolderOf(path);
    if (folder.empty()) return std::nullopt;
    return folder;
}

struct Search {
    const wchar_t* windowClass;
    win::FileIdentity folder;
    HWND found = nullptr;
};

BOOL CALLBACK LookAt(HWND window, LPARAM parameter) {
    Search& search = *reinterpret_cast<Search*>(parameter);
    wchar_t className[64] = {};
    if (!::GetClassNameW(window, className, 64) || std::wstring(className) != search.windowClass) return TRUE;
    DWORD processId = 0;
    ::GetWindowThreadProcessId(window, &processId);
    if (processId == ::GetCurrentProcessId()) return TRUE;
    const std::optional<std::string> folder = ProgramFolderOf(processId);
    const std::optional<win::FileIdentity> identity = folder ? win::IdentityOf(*folder) : std::nullopt;
    if (!identity || !(*identity == search.folder)) return TRUE;
    search.found = window;
    return FALSE;
}

}  // namespace

OneLauncherPerFolder::OneLauncherPerFolder(const std::string& folder) : identity_(win::IdentityOf(folder)) {
    if (identity_)
        lock_.emplace("Local\\vt-launcher-" + std::to_string(identity_->volume) + "-" + std::to_string(identity_->index));
}

bool OneLauncherPerFolder::ShowRunning(const wchar_t* windowClass, DWORD waitMs) const {
    if (!identity_) return false;
    const ULONGLONG deadline = ::GetTickCount64() + waitMs;
    for (;;) {
        Search search{windowClass, *identity_};
        ::EnumWindows(LookAt, reinterpret_cast<LPARAM>(&search));
        if (search.found && ::IsWindowVisible(search.found)) {
            // Asynchronous: ShowWindow on another process's window waits for
            // that process, without end when it is hung (a first launcher
            // stopped while minimized kept this one running past 150 s).
            if (::IsIconic(search.found)) ::ShowWindowAsync(search.found, SW_RESTORE);
            ::SetForegroundWindow(search.found);  // refused: its taskbar button flashes (see the header)
            return true;
        }
        if (::GetTickCount64() >= deadline) return false;
        ::Sleep(100);
    }
}

}  // namespace vt::launcher
