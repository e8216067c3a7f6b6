// The number syntax of UPDATE.CFG ("DELAY=", "TIMEOUT="):
//   optional blanks, an optional "+" or "-", decimal digits with an optional
//   fraction ("12", "12.5", ".5", "7."; at least one digit), optional blanks.
// A fraction is rounded to the nearest whole number, a half to the even
// neighbour (2.5 gives 2, 3.5 gives 4, -2.5 gives -2). Anything else (letters,
// exponents, hex, thousands separators, an empty text) is not a number.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace vt {

// The rounded value when `text` is a number within [min, max], else nothing.
std::optional<std::int64_t> ParseWholeNumber(std::string_view text, std::int64_t min, std::int64_t max);

std::optional<std::int16_t> ParseInt16(std::string_view text);
std::optional<std::int32_t> ParseInt32(std::string_view text);

// The other number syntax, of what servers and the programs' own files say
// (Content-Length, ranges, records, side files): decimal digits only (no
// sign, no blanks, no fraction), fitting 64 bits.
std::optional<std::uint64_t> DecimalDigits(std::string_view text);
// The same without leading zeros ("0" itself excepted): the one spelling of a
// number in the files the programs write and read back.
std::optional<std::uint64_t> CanonicalDecimal(std::string_view text);

}  // namespace vt
