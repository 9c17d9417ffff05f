#include "local_time.h"

#include <windows.h>

#include <chrono>
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

// Days since the 1st of January of the date's year.
int DayOfYear(const SYSTEMTIME& date)
{
    using namespace std::chrono;
    const year_month_day ymd{year{date.wYear}, month{date.wMonth}, day{date.wDay}};
    return static_cast<int>((sys_days{ymd} - sys_days{ymd.year() / January / 1}).count());
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
    f.tm_yday = DayOfYear(wall);
    f.tm_isdst = -1;
    local.utcOffsetMinutes = static_cast<long>((Ticks(wallTime) - ticks) / (60 * kFileTimePerSecond));
    return local;
}
