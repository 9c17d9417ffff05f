#include "local_time.h"

#include <windows.h>

#include <cstdint>

namespace {

// 100 ns steps between 1601-01-01 (FILETIME's epoch) and 1970-01-01.
constexpr std::int64_t kUnixEpochInFileTime = 116444736000000000LL;
constexpr std::int64_t kFileTimePerSecond = 10000000LL;

FILETIME ToFileTime(std::int64_t ticks)
{
    FILETIME time;
    time.dwLowDateTime = static_cast<DWORD>(static_cast<std::uint64_t>(ticks) & 0xFFFFFFFFu);
    time.dwHighDateTime = static_cast<DWORD>(static_cast<std::uint64_t>(ticks) >> 32);
    return time;
}

std::int64_t Ticks(const FILETIME& time)
{
    return static_cast<std::int64_t>((static_cast<std::uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime);
}

int DayOfYear(int year, int month, int day)
{
    static constexpr int kDaysBefore[12] = {0, 31, 59, 90, 120, 151, 181, 212, 243, 273, 304, 334};
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return kDaysBefore[month - 1] + day - 1 + (leap && month > 2 ? 1 : 0);
}

} // namespace

// The system's own time zone and its rules for that year, not the C
// runtime's, which follows a TZ variable of its own format where one is set.
LocalTime ToLocalTime(std::time_t seconds)
{
    LocalTime local;
    const std::int64_t ticks = kUnixEpochInFileTime + static_cast<std::int64_t>(seconds) * kFileTimePerSecond;
    const FILETIME utcTime = ToFileTime(ticks);
    SYSTEMTIME utc;
    SYSTEMTIME wall;
    FILETIME wallTime;
    if (ticks < 0 || !::FileTimeToSystemTime(&utcTime, &utc) ||
        !::SystemTimeToTzSpecificLocalTime(nullptr, &utc, &wall) || !::SystemTimeToFileTime(&wall, &wallTime)) {
        gmtime_s(&local.fields, &seconds); // UTC, told as such by the offset 0
        return local;
    }
    std::tm& f = local.fields;
    f.tm_year = wall.wYear - 1900;
    f.tm_mon = wall.wMonth - 1;
    f.tm_mday = wall.wDay;
    f.tm_hour = wall.wHour;
    f.tm_min = wall.wMinute;
    f.tm_sec = wall.wSecond;
    f.tm_wday = wall.wDayOfWeek;
    f.tm_yday = DayOfYear(wall.wYear, wall.wMonth, wall.wDay);
    f.tm_isdst = -1;
    local.utcOffsetMinutes = static_cast<long>((Ticks(wallTime) - ticks) / (60 * kFileTimePerSecond));
    return local;
}
