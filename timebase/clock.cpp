#include "timebase/clock.h"

NtpTimestamp NtpNow()
{
    SYSTEMTIME utc;
    GetSystemTime(&utc);
    return SystemTimeToNtp(&utc);
}
