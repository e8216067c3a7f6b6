#include "config/number_text.h"

#include <limits>

namespace vt {
namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

}  // namespace

std::optional<std::int64_t> ParseWholeNumber(std::string_view text, std::int64_t min, std::int64_t max) {
    std::size_t i = 0;
    std::size_t end = text.size();
    while (i < end && IsBlank(text[i])) ++i;
    while (end > i && IsBlank(text[end - 1])) --end;

    bool negative = false;
    if (i < end && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';

    // Magnitudes beyond this are out of every range we are asked for; keep
    // counting digits but hold the magnitude at the cap once it would pass
    // it, so that a long input is "too large", never a wrapped small number.
    constexpr std::uint64_t kCap = std::uint64_t{1} << 62;
    std::uint64_t magnitude = 0;
    std::size_t digits = 0;
    for (; i < end && IsDigit(text[i]); ++i, ++digits) {
        const unsigned digit = static_cast<unsigned>(text[i] - '0');
        magnitude = magnitude > (kCap - digit) / 10 ? kCap : magnitude * 10 + digit;
    }

    int firstFraction = -1;     // first digit after the point, -1 when none
    bool restNonZero = false;   // any non-zero digit after the first one
    if (i < end && text[i] == '.') {
        for (++i; i < end && IsDigit(text[i]); ++i, ++digits) {
            if (firstFraction < 0) firstFraction = text[i] - '0';
            else if (text[i] != '0') restNonZero = true;
        }
    }
    if (digits == 0 || i != end) return std::nullopt;

    const bool roundUp = firstFraction > 5 || (firstFraction == 5 && (restNonZero || magnitude % 2 == 1));
    if (roundUp && magnitude < kCap) ++magnitude;
    if (magnitude >= kCap) return std::nullopt;

    const std::int64_t value = negative ? -static_cast<std::int64_t>(magnitude) : static_cast<std::int64_t>(magnitude);
    if (value < min || value > max) return std::nullopt;
    return value;
}

std::optional<std::int16_t> ParseInt16(std::string_view text) {
    const auto v = ParseWholeNumber(text, std::numeric_limits<std::int16_t>::min(), std::numeric_limits<std::int16_t>::max());
    if (!v) return std::nullopt;
    return static_cast<std::int16_t>(*v);
}

std::optional<std::int32_t> ParseInt32(std::string_view text) {
    const auto v = ParseWholeNumber(text, std::numeric_limits<std::int32_t>::min(), std::numeric_limits<std::int32_t>::max());
    if (!v) return std::nullopt;
    return static_cast<std::int32_t>(*v);
}

std::optional<std::uint64_t> DecimalDigits(std::string_view text) {
    if (text.empty()) return std::nullopt;
    std::uint64_t value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') return std::nullopt;
        const std::uint64_t digit = static_cast<std::uint64_t>(c - '0');
        if (value > (~std::uint64_t{0} - digit) / 10) return std::nullopt;
        value = value * 10 + digit;
    }
    return value;
}

std::optional<std::uint64_t> CanonicalDecimal(std::string_view text) {
    if (text.size() > 1 && text[0] == '0') return std::nullopt;
    return DecimalDigits(text);
}

}  // namespace vt
