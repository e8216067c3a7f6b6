// Text between the system's wide (UTF-16) API and the programs' bytes.
// MultiByteToWideChar/WideCharToMultiByte in one place, with the quirk that
// they take int lengths and answer 0 both for failure and for empty text.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>

namespace vt::win {

// `bytes` in `codePage` (CP_UTF8, CP_ACP, ...); bytes that do not decode
// become U+FFFD.
std::wstring WideFrom(std::string_view bytes, UINT codePage);
std::string Utf8From(std::wstring_view text);

}  // namespace vt::win
