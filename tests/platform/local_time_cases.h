#pragma once
// The local time in Europe/Berlin around its changes to and from summer
// time, for both sides of the platform room: each test program runs in
// that zone.

#include "local_time.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <ctime>
#include <string>

struct LocalTimeCase {
    const char* what;
    std::time_t utc;
    const char* wall; // "YYYY-MM-DD HH:MM:SS"
    int dayOfYear;
    long offsetMinutes;
};

inline constexpr LocalTimeCase kBerlinLocalTimes[] = {
    {"winter", 1705320000, "2024-01-15 13:00:00", 14, 60},
    {"summer", 1721044800, "2024-07-15 14:00:00", 196, 120},
    {"the last second of winter time", 1711846799, "2024-03-31 01:59:59", 90, 60},
    {"the first second of summer time", 1711846800, "2024-03-31 03:00:00", 90, 120},
    {"the last second of summer time", 1729990799, "2024-10-27 02:59:59", 300, 120},
    {"the first second after it", 1729990800, "2024-10-27 02:00:00", 300, 60},
    {"a leap day", 1709208000, "2024-02-29 13:00:00", 59, 60},
    {"into the day after a leap day", 1709249400, "2024-03-01 00:30:00", 60, 60},
};

inline void ExpectBerlinLocalTimes()
{
    for (const LocalTimeCase& c : kBerlinLocalTimes) {
        SCOPED_TRACE(c.what);
        const LocalTime local = ToLocalTime(c.utc);
        const std::tm& t = local.fields;
        char wall[64];
        std::snprintf(wall, sizeof wall, "%04d-%02d-%02d %02d:%02d:%02d", t.tm_year + 1900, t.tm_mon + 1, t.tm_mday,
                      t.tm_hour, t.tm_min, t.tm_sec);
        EXPECT_EQ(std::string(wall), c.wall);
        EXPECT_EQ(t.tm_yday, c.dayOfYear);
        EXPECT_EQ(local.utcOffsetMinutes, c.offsetMinutes);
    }
}
