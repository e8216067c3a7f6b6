// The object that owns a window, found from inside its window procedure: the
// pointer passed to CreateWindowEx is kept in the window's user data when the
// window is created. Until then, and for messages sent during creation before
// WM_NCCREATE, there is no owner (nullptr).
#pragma once

#include <windows.h>

namespace vt::win {

template <typename Owner>
Owner* WindowOwner(HWND window, UINT message, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lParam);
        ::SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    return reinterpret_cast<Owner*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
}

// The message loop both programs run; `dialogWindow` gets Tab and arrow keys
// between its controls.
inline int RunMessageLoop(HWND dialogWindow = nullptr) {
    MSG message;
    while (::GetMessageW(&message, nullptr, 0, 0) > 0) {
        if (dialogWindow && ::IsDialogMessageW(dialogWindow, &message)) continue;
        ::TranslateMessage(&message);
        ::DispatchMessageW(&message);
    }
    return 0;
}

}  // namespace vt::win
