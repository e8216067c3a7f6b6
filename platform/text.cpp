#include "platform/text.h"

namespace vt {
namespace {

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

}  // namespace


std::string ToAsciiUpper(std::string text) {
    for (char& c : text) c = AsciiUpper(c);
    return text;
}

std::string ToAsciiLower(std::string text) {
    for (char& c : text) c = AsciiLower(c);
    return text;
}

bool EqualsIgnoringAsciiCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (AsciiUpper(a[i]) != AsciiUpper(b[i])) return false;
    return true;
}

bool StartsWith(std::string_view text, std::string_view prefix) { return text.substr(0, prefix.size()) == prefix; }
bool StartsWith(std::wstring_view text, std::wstring_view prefix) { return text.substr(0, prefix.size()) == prefix; }

std::string FolderOf(std::string_view path) {
    const std::size_t slash = path.find_last_of('\\');
    return slash == std::string_view::npos ? std::string() : std::string(path.substr(0, slash + 1));
}

std::string WithTrailingBackslash(std::string path) {
    if (path.empty() || path.back() != '\\') path += '\\';
    return path;
}

std::string_view Trim(std::string_view text, std::string_view blanks) {
    const std::size_t first = text.find_first_not_of(blanks);
    if (first == std::string_view::npos) return {};
    return text.substr(first, text.find_last_not_of(blanks) - first + 1);
}

std::string ToHex(const std::uint8_t* data, std::size_t size) {
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string text(size * 2, '0');
    for (std::size_t i = 0; i < size; ++i) {
        text[2 * i] = kDigits[data[i] >> 4];
        text[2 * i + 1] = kDigits[data[i] & 15];
    }
    return text;
}

bool FromHex(std::string_view text, std::uint8_t* out, std::size_t size) {
    if (text.size() != 2 * size) return false;
    for (std::size_t i = 0; i < size; ++i) {
        const int high = HexDigit(text[2 * i]), low = HexDigit(text[2 * i + 1]);
        if (high < 0 || low < 0) return false;
        out[i] = static_cast<std::uint8_t>(high * 16 + low);
    }
    return true;
}

namespace {

// The upper case of a lower-case letter in the folded ranges; `c` itself otherwise.
char32_t UpperLetter(char32_t c) {
    if (c >= U'a' && c <= U'z') return c - 0x20;
    if ((c >= 0xE0 && c <= 0xFE && c != 0xF7)) return c - 0x20;  // Latin-1: à..þ but ÷
    if (c == 0xFF) return 0x178;                                  // ÿ
    if (c >= 0x100 && c <= 0x17F) {                               // Latin Extended-A: pairs
        if (c == 0x131 || c == 0x138 || c == 0x149 || c == 0x17F) return c;  // ı, ĸ, ŉ, ſ: no simple pair kept here
        const bool oddUpper = (c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E);
        if (oddUpper) return c % 2 == 0 ? c - 1 : c;
        return c % 2 == 1 ? c - 1 : c;
    }
    if (c >= 0x3B1 && c <= 0x3C9 && c != 0x3C2) return c - 0x20;  // Greek α..ω (final ς apart)
    if (c == 0x3C2) return 0x3A3;
    if (c == 0x3CA || c == 0x3CB) return c - 0x20;  // ϊ ϋ
    if (c == 0x3AC) return 0x386;                   // ά
    if (c >= 0x3AD && c <= 0x3AF) return c - 0x25;  // έ ή ί
    if (c == 0x3CC) return 0x38C;                   // ό
    if (c == 0x3CD || c == 0x3CE) return c - 0x3F;  // ύ ώ
    if (c >= 0x430 && c <= 0x44F) return c - 0x20;  // Cyrillic а..я
    if (c >= 0x450 && c <= 0x45F) return c - 0x50;  // ѐ..џ
    return c;
}

}  // namespace

void AppendUtf8(std::string& out, char32_t code) {
    if (code == 0 || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) code = 0xFFFD;
    if (code < 0x80) {
        out += static_cast<char>(code);
    } else if (code < 0x800) {
        out += static_cast<char>(0xC0 | (code >> 6));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
        out += static_cast<char>(0xE0 | (code >> 12));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (code >> 18));
        out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    }
}

bool IsValidUtf8(std::string_view bytes) {
    for (std::size_t i = 0; i < bytes.size();) {
        const auto b = static_cast<unsigned char>(bytes[i]);
        std::size_t length = 0;
        std::uint32_t code = 0;
        if (b < 0x80) {
            ++i;
            continue;
        } else if (b >= 0xC2 && b <= 0xDF) {
            length = 2;
            code = b & 0x1F;
        } else if (b >= 0xE0 && b <= 0xEF) {
            length = 3;
            code = b & 0x0F;
        } else if (b >= 0xF0 && b <= 0xF4) {
            length = 4;
            code = b & 0x07;
        } else {
            return false;
        }
        if (i + length > bytes.size()) return false;
        for (std::size_t k = 1; k < length; ++k) {
            const auto next = static_cast<unsigned char>(bytes[i + k]);
            if ((next & 0xC0) != 0x80) return false;
            code = (code << 6) | (next & 0x3F);
        }
        if ((length == 3 && (code < 0x800 || (code >= 0xD800 && code <= 0xDFFF))) ||
            (length == 4 && (code < 0x10000 || code > 0x10FFFF)))
            return false;
        i += length;
    }
    return true;
}

std::string Utf8FromWindows1252(std::string_view bytes) {
    // 0x80 to 0x9F; 0 where 1252 defines nothing.
    static constexpr char16_t kHigh[32] = {
        0x20AC, 0, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0, 0x017D, 0,
        0, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0, 0x017E, 0x0178};
    std::string out;
    out.reserve(bytes.size());
    for (const char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        if (b < 0x80) {
            out += c;  // ASCII, NUL included, as it is
            continue;
        }
        AppendUtf8(out, b <= 0x9F && kHigh[b - 0x80] != 0 ? kHigh[b - 0x80] : char32_t{b});
    }
    return out;
}

std::string FileNameUpper(std::string_view utf8) {
    std::string out;
    out.reserve(utf8.size());
    for (std::size_t i = 0; i < utf8.size();) {
        const auto lead = static_cast<unsigned char>(utf8[i]);
        if (lead < 0x80) {
            out += AsciiUpper(static_cast<char>(lead));
            ++i;
            continue;
        }
        // Only two-byte sequences hold the folded letters; anything else is
        // copied as it is, a byte at a time when it is not UTF-8.
        if (lead >= 0xC2 && lead <= 0xDF && i + 1 < utf8.size() &&
            (static_cast<unsigned char>(utf8[i + 1]) & 0xC0) == 0x80) {
            const char32_t c = (static_cast<char32_t>(lead & 0x1F) << 6) | (static_cast<unsigned char>(utf8[i + 1]) & 0x3F);
            AppendUtf8(out, UpperLetter(c));
            i += 2;
            continue;
        }
        out += utf8[i++];
    }
    return out;
}

}  // namespace vt
