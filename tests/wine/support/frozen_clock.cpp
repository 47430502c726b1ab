#include "support/frozen_clock.h"

#include "timebase/clock.h"

namespace {

FILETIME ftFrozen;

void WINAPI ReadFrozenClock(LPFILETIME utc)
{
    *utc = ftFrozen;
}

}  // namespace

NtpTimestamp FreezeClock()
{
    GetSystemTimeAsFileTime(&ftFrozen);
    clockCalls.GetSystemTimePreciseAsFileTime = ReadFrozenClock;
    return NtpNow();
}

void ThawClock()
{
    clockCalls.GetSystemTimePreciseAsFileTime = realClockCalls.GetSystemTimePreciseAsFileTime;
}
