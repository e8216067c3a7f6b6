// DateValue: a local wall-clock time as the OLE Automation date, a count of days
// since 30 December 1899 with the time of day as the fraction. Patch-list stamps
// and file times are both turned into it and compared as numbers.
#pragma once

#include <cstdint>
#include <optional>

namespace vt::launcher {

using DateValue = double;

// The date year-month-day plus hour:minute:second, with calendar carry in both
// directions (month 13 is January of the next year, day 0 the last day of the
// month before, hour 24 midnight of the next day, minute 60 the next hour).
// A year from 0 to 99 is widened to the one year with those last two digits
// in the hundred years that end at `twoDigitYearMax` (the system's two-digit
// year setting; by default 2029, so 0-29 give 2000-2029 and 30-99 1930-1999).
// Nothing when the result lies outside the years 100 to 9999.
inline constexpr int kDefaultTwoDigitYearMax = 2029;
// Days from 1970-01-01 to a proleptic Gregorian date, and back (days since
// 1970-01-01, not negative, to year, month and day).
std::int64_t DaysFromCivil(std::int64_t y, std::int64_t m, std::int64_t d);
struct CivilDate {
    std::int64_t year, month, day;
};
CivilDate CivilFromDays(std::int64_t days);

std::optional<DateValue> MakeDateValue(int year, int month, int day, int hour, int minute, int second,
                                       int twoDigitYearMax = kDefaultTwoDigitYearMax);

}  // namespace vt::launcher
