#include "local_time.h"

LocalTime ToLocalTime(std::time_t seconds)
{
    LocalTime local;
    localtime_r(&seconds, &local.fields);
    local.utcOffsetMinutes = local.fields.tm_gmtoff / 60;
    return local;
}
