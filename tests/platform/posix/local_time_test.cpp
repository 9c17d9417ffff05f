// The local time of the POSIX side, in a zone with summer time.

#include "local_time_cases.h"
#include "unprivileged.h"

#include <ctime>

TEST(LocalTime, FollowsTheZoneAcrossSummerTime)
{
    {
        ScopedEnv zone("TZ", "Europe/Berlin");
        tzset();
        ExpectBerlinLocalTimes();
        EXPECT_EQ(UtcOffsetText(ToLocalTime(1705320000).utcOffsetMinutes), "+01:00");
    }
    tzset();
}

TEST(LocalTime, OffsetTexts)
{
    EXPECT_EQ(UtcOffsetText(0), "+00:00");
    EXPECT_EQ(UtcOffsetText(330), "+05:30");
    EXPECT_EQ(UtcOffsetText(-570), "-09:30");
}
