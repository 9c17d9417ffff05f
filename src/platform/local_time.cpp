#include "local_time.h"

#include <cstdio>

std::string UtcOffsetText(long offsetMinutes)
{
    const long magnitude = offsetMinutes < 0 ? -offsetMinutes : offsetMinutes;
    char text[32];
    std::snprintf(text, sizeof text, "%c%02ld:%02ld", offsetMinutes < 0 ? '-' : '+', magnitude / 60, magnitude % 60);
    return text;
}
