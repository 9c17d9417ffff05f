#pragma once
// The local time of the system's time zone, with its offset from UTC (the
// offset in force at that moment, summer time included).

#include <ctime>
#include <string>

struct LocalTime {
    std::tm fields{};
    long utcOffsetMinutes = 0;
};

LocalTime ToLocalTime(std::time_t seconds);

// "+03:00", "-05:30".
std::string UtcOffsetText(long offsetMinutes);
