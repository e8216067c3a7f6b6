// Text between the system's wide (UTF-16) API and the programs' bytes.
//
// Inside both programs every text and every path is UTF-8: the settings, the
// list's entries, the log, the status texts. The system is asked only through
// its wide ("W") functions, with the text converted here at the edge. Why not
// the "A" functions with a manifest's <activeCodePage>UTF-8</activeCodePage>:
// that works on Windows 10 from 1903 on and on Wine 8, but older Windows
// ignore it and go on reading every path in the region's code page; and an
// "A" function never takes a path longer than MAX_PATH, with or without the
// "\\?\" prefix. The wide functions do both on every Windows.
//
// MultiByteToWideChar/WideCharToMultiByte are in one place, with the quirk
// that they take int lengths and answer 0 both for failure and for empty text.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>

namespace vt::win {

// `bytes` in `codePage` (CP_UTF8, CP_ACP, ...); bytes that do not decode
// become U+FFFD.
std::wstring WideFrom(std::string_view bytes, UINT codePage);
std::string Utf8From(std::wstring_view text);

// UTF-8 text for a wide function (Wide), and back (Narrow).
inline std::wstring Wide(std::string_view utf8) { return WideFrom(utf8, CP_UTF8); }
inline std::string Narrow(std::wstring_view text) { return Utf8From(text); }

// A text file's line: UTF-8 when its bytes are valid UTF-8, else read in the
// system's ANSI code page (a list or UPDATE.CFG written by an older tool in,
// say, Windows-1252) and given as UTF-8.
std::string LineAsUtf8(std::string_view bytes);

// A UTF-8 path for a wide file function. A path longer than the system's
// old limit (MAX_PATH, less the 12 characters CreateDirectory keeps for a
// file name) is made absolute and given the "\\?\" prefix ("\\?\UNC\" for a
// share), which lifts the limit to 32,767 characters without the registry
// switch that a manifest's longPathAware needs. Shorter paths go as they
// are: the prefix also turns off the system's clean-up of "." , ".." and "/"
// and of trailing dots and blanks, which short paths keep.
std::wstring PathW(std::string_view utf8);
// The same path always absolute and with the prefix: for a folder whose
// entries are walked, so that every path below it works at any depth.
std::wstring PrefixedPathW(std::string_view utf8);

}  // namespace vt::win
