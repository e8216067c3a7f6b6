// The run's progress on the window's taskbar button (ITaskbarList3), as
// Windows shows a copy's progress. The shell announces the button with the
// registered message "TaskbarButtonCreated"; only then is the list made.
// Where there is no taskbar (Wine's desktops send no such message, a shell
// without ITaskbarList3) nothing is shown and nothing fails.
#pragma once

#include <windows.h>
#include <shobjidl.h>

#include <cstdint>

#include "platform/win/com_ptr.h"

namespace vt::launcher {

class TaskbarProgress {
public:
    explicit TaskbarProgress(HWND window) : window_(window) {}
    TaskbarProgress(const TaskbarProgress&) = delete;
    TaskbarProgress& operator=(const TaskbarProgress&) = delete;

    // The message that announces the button (0 when it cannot be registered).
    static UINT ButtonCreatedMessage();
    void ButtonCreated();  // on that message: make the list

    void Show(std::uint64_t done, std::uint64_t total);  // total 0: no bar
    void Clear();

private:
    HWND window_;
    win::ComPtr<ITaskbarList3> list_;
};

}  // namespace vt::launcher
