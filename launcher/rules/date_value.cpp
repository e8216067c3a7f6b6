#include "launcher/rules/date_value.h"

#include <cstdint>

namespace vt::launcher {

// H. Hinnant's algorithm.
std::int64_t DaysFromCivil(std::int64_t y, std::int64_t m, std::int64_t d) {
    y -= m <= 2;
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const std::int64_t yoe = y - era * 400;
    const std::int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const std::int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

CivilDate CivilFromDays(std::int64_t days) {
    const std::int64_t z = days + 719468;
    const std::int64_t era = z / 146097;
    const std::int64_t doe = z - era * 146097;
    const std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const std::int64_t mp = (5 * doy + 2) / 153;
    const std::int64_t d = doy - (153 * mp + 2) / 5 + 1;
    const std::int64_t m = mp < 10 ? mp + 3 : mp - 9;
    return CivilDate{yoe + era * 400 + (m <= 2 ? 1 : 0), m, d};
}

namespace {

std::int64_t FloorDiv(std::int64_t a, std::int64_t b) { return a / b - ((a % b != 0) && ((a < 0) != (b < 0))); }

constexpr std::int64_t kSecondsPerDay = 86400;

}  // namespace

std::optional<DateValue> MakeDateValue(int year, int month, int day, int hour, int minute, int second,
                                       int twoDigitYearMax) {
    std::int64_t y = year;
    if (y >= 0 && y <= 99) {
        // The system allows 99 to 9999 as the limit; anything else is taken
        // as the default.
        const std::int64_t max = twoDigitYearMax >= 99 && twoDigitYearMax <= 9999 ? twoDigitYearMax : kDefaultTwoDigitYearMax;
        y = max - ((max % 100 - y + 100) % 100);
    }
    const std::int64_t monthIndex = static_cast<std::int64_t>(month) - 1;
    y += FloorDiv(monthIndex, 12);
    const std::int64_t m = monthIndex - FloorDiv(monthIndex, 12) * 12 + 1;

    const std::int64_t epoch = DaysFromCivil(1899, 12, 30);
    const std::int64_t days = DaysFromCivil(y, m, 1) + (day - 1) - epoch;
    const std::int64_t seconds = days * kSecondsPerDay + std::int64_t{hour} * 3600 + std::int64_t{minute} * 60 + second;

    const std::int64_t first = (DaysFromCivil(100, 1, 1) - epoch) * kSecondsPerDay;
    const std::int64_t last = (DaysFromCivil(10000, 1, 1) - epoch) * kSecondsPerDay - 1;
    if (seconds < first || seconds > last) return std::nullopt;

    // Before the epoch the OLE format counts whole days down and the time of
    // day up: 29 December 1899, 06:00 is -1.25.
    const std::int64_t wholeDays = FloorDiv(seconds, kSecondsPerDay);
    const double fraction = static_cast<double>(seconds - wholeDays * kSecondsPerDay) / kSecondsPerDay;
    return wholeDays >= 0 ? wholeDays + fraction : wholeDays - fraction;
}

}  // namespace vt::launcher
