// Small helpers for the programs' 8-bit texts: keys, names, header values,
// list fields. One place for what every rule needs (SumatraPDF's StrUtil is
// the model), so that letter case and blanks are handled one way.
//
// Letter case is ASCII only, on purpose: UPDATE.CFG keys, the "immer"
// keyword, the launcher marker, URL schemes and the starter's mode words are
// ASCII by definition. File names are the exception (FileNameUpper); on
// Windows a name compared for the file system goes through the system.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace vt {

constexpr char AsciiUpper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }
constexpr char AsciiLower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

std::string ToAsciiUpper(std::string text);
std::string ToAsciiLower(std::string text);
bool EqualsIgnoringAsciiCase(std::string_view a, std::string_view b);

// `text` without the characters of `blanks` at either end. The default is
// what HTTP headers allow around a value; list fields and mode words pass " ".
std::string_view Trim(std::string_view text, std::string_view blanks = " \t");

// Prefixes and "\"-separated paths, one spelling each.
bool StartsWith(std::string_view text, std::string_view prefix);
bool StartsWith(std::wstring_view text, std::wstring_view prefix);
// The folder of a path including its last backslash ("C:\a\b.exe" gives
// "C:\a\"), or empty when it names no folder.
std::string FolderOf(std::string_view path);
// The path as a folder: with one backslash at its end ("" gives "\").
std::string WithTrailingBackslash(std::string path);

// True when `bytes` are valid UTF-8 (no overlong forms, no surrogates).
bool IsValidUtf8(std::string_view bytes);

// One code point as UTF-8; NUL, a surrogate or a value past U+10FFFF is
// written as U+FFFD.
void AppendUtf8(std::string& out, char32_t code);

// A file name (UTF-8) in upper case as the Windows file system compares
// names, for portable rules that must find two names one file: ASCII, the
// Latin-1 and Latin Extended-A letters, Greek and Cyrillic are folded (the
// scripts of the players this mod has); other characters stay as they are.
// Bytes that are not UTF-8 stay as they are. On Windows the programs ask the
// system itself (platform/win/files.h, SameFileName).
std::string FileNameUpper(std::string_view utf8);

// `bytes` read as Windows-1252 (the ANSI code page of Western European and
// American Windows, and Wine's under a C or UTF-8 locale), as UTF-8. The five
// bytes 1252 leaves undefined are read as the C1 control of the same value,
// as Windows' own conversion does.
std::string Utf8FromWindows1252(std::string_view bytes);

// Bytes as lower-case hex digits, and back: exactly 2 * size hex digits,
// either case; false otherwise.
std::string ToHex(const std::uint8_t* data, std::size_t size);
bool FromHex(std::string_view text, std::uint8_t* out, std::size_t size);

}  // namespace vt
