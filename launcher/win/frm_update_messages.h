// The window's private messages and control ids, shared by frmUpdate's files.
#pragma once

#include <windows.h>

namespace vt::launcher::msg {

// Sent by the run's thread, lParam a const std::string*: navigate Browser.
inline constexpr UINT kNavigate = WM_APP + 2;
// Posted by the run's thread as its last act, wParam the RunEnding.
inline constexpr UINT kRunEnded = WM_APP + 3;
// Sent by the run's thread, lParam a const std::string* (the local file).
inline constexpr UINT kFileAccessError = WM_APP + 4;
// Sent by the run's thread, lParam a const std::string* (what failed).
inline constexpr UINT kRunFailed = WM_APP + 5;

inline constexpr int kLaunchId = 101;
inline constexpr int kQuitId = 102;
inline constexpr int kStatusId = 103;
inline constexpr int kSingleLaunchId = 104;
inline constexpr int kBrowserId = 105;

inline constexpr UINT_PTR kDoOnceTimerId = 1;
inline constexpr UINT_PTR kTimeoutTimerId = 2;
// While a run goes on: show its latest status text.
inline constexpr UINT_PTR kStatusTimerId = 3;
inline constexpr UINT kStatusTickMs = 30;

}  // namespace vt::launcher::msg
