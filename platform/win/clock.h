// The system's wall clock as the rules read it: seconds since 1970, UTC.
#pragma once

#include <windows.h>

#include <cstdint>

namespace vt::win {

inline std::int64_t NowEpochSeconds() {
    FILETIME now;
    ::GetSystemTimeAsFileTime(&now);  // 100 ns ticks since 1601
    const std::uint64_t ticks = (std::uint64_t{now.dwHighDateTime} << 32) | now.dwLowDateTime;
    return static_cast<std::int64_t>(ticks / 10000000ull) - 11644473600ll;
}

}  // namespace vt::win
