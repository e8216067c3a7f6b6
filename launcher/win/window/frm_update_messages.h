// The window's private messages and control ids, shared by frmUpdate's files.
#pragma once

#include <windows.h>

namespace vt::launcher::msg {

// Posted by the UiDispatcher: run the tasks handed over to the window.
inline constexpr UINT kRunWork = WM_APP + 2;

inline constexpr int kLaunchId = 101;
inline constexpr int kQuitId = 102;
inline constexpr int kStatusId = 103;
inline constexpr int kSingleLaunchId = 104;
inline constexpr int kBrowserId = 105;
inline constexpr int kPageTextId = 106;

inline constexpr UINT_PTR kDoOnceTimerId = 1;
inline constexpr UINT_PTR kTimeoutTimerId = 2;
inline constexpr UINT_PTR kStatusTimerId = 3;
}  // namespace vt::launcher::msg
