// The local time of the Win32 side: the system's time zone and its summer
// time rules, whatever a TZ variable says to the C runtime. CTest runs the
// program with the host in Europe/Berlin, which Wine takes as the system's.

#include "local_time_cases.h"

#include <windows.h>

TEST(Win32LocalTime, FollowsTheSystemsZoneAcrossSummerTime)
{
    TIME_ZONE_INFORMATION zone;
    ::GetTimeZoneInformation(&zone);
    ASSERT_EQ(zone.Bias, -60) << "the test needs the system's zone to be Europe/Berlin (TZ=Europe/Berlin for Wine)";
    ExpectBerlinLocalTimes();
}
