#include "support/frozen_clock.h"

#include "timebase/clock.h"

namespace {

SYSTEMTIME stFrozen;

void WINAPI ReadFrozenClock(LPSYSTEMTIME utc)
{
    *utc = stFrozen;
}

}  // namespace

NtpTimestamp FreezeClock()
{
    GetSystemTime(&stFrozen);
    clockCalls.GetSystemTime = ReadFrozenClock;
    return SystemTimeToNtp(&stFrozen);
}

void ThawClock()
{
    clockCalls.GetSystemTime = realClockCalls.GetSystemTime;
}
