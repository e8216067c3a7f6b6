#include "platform/win/text_codes.h"

#include <climits>

#include "platform/text.h"

namespace vt::win {

std::wstring WideFrom(std::string_view bytes, UINT codePage) {
    if (bytes.empty() || bytes.size() > INT_MAX) return {};
    const int size = static_cast<int>(bytes.size());
    const int length = ::MultiByteToWideChar(codePage, 0, bytes.data(), size, nullptr, 0);
    if (length <= 0) return {};
    std::wstring text(static_cast<std::size_t>(length), L'\0');
    ::MultiByteToWideChar(codePage, 0, bytes.data(), size, text.data(), length);
    return text;
}

std::string Utf8From(std::wstring_view text) {
    if (text.empty() || text.size() > INT_MAX) return {};
    const int size = static_cast<int>(text.size());
    const int length = ::WideCharToMultiByte(CP_UTF8, 0, text.data(), size, nullptr, 0, nullptr, nullptr);
    if (length <= 0) return {};
    std::string bytes(static_cast<std::size_t>(length), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, text.data(), size, bytes.data(), length, nullptr, nullptr);
    return bytes;
}

std::string LineAsUtf8(std::string_view bytes) {
    // The portable check, not MB_ERR_INVALID_CHARS: the same answer on every
    // Windows and under Wine (overlong forms and surrogates are not UTF-8).
    if (IsValidUtf8(bytes)) return std::string(bytes);
    return Utf8From(WideFrom(bytes, CP_ACP));
}

std::wstring PathW(std::string_view utf8) {
    constexpr std::size_t kShortLimit = MAX_PATH - 12;
    if (utf8.size() < kShortLimit) return Wide(utf8);  // UTF-8 is never shorter than its UTF-16
    return PrefixedPathW(utf8);
}

std::wstring PrefixedPathW(std::string_view utf8) {
    std::wstring path = Wide(utf8);
    if (StartsWith(path, L"\\\\?\\")) return path;
    // Made absolute first: the prefix takes the path as it is.
    const DWORD needed = ::GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
    if (needed == 0) return path;
    std::wstring full(needed, L'\0');
    const DWORD written = ::GetFullPathNameW(path.c_str(), needed, full.data(), nullptr);
    if (written == 0 || written >= needed) return path;
    full.resize(written);
    if (StartsWith(full, L"\\\\")) return L"\\\\?\\UNC\\" + full.substr(2);  // \\server\share\...
    if (full.size() >= 3 && full[1] == L':' && full[2] == L'\\') return L"\\\\?\\" + full;
    return path;
}

}  // namespace vt::win
