#include "support/frozen_clock.h"

#include "timebase/clock.h"

namespace {

FILETIME ftFrozen;

void WINAPI ReadFrozenClock(LPFILETIME utc)
{
    *utc = ftFrozen;
}

ULONGLONG WINAPI ReadHeldMonotonicClock()
{
    return qwMonotonic_ms;
}

}  // namespace

uint64_t qwMonotonic_ms = 5000000;

NtpTimestamp FreezeClock()
{
    GetSystemTimeAsFileTime(&ftFrozen);
    clockCalls.GetSystemTimePreciseAsFileTime = ReadFrozenClock;
    return NtpNow();
}

void FreezeClockAt(const SYSTEMTIME& utc)
{
    SystemTimeToFileTime(&utc, &ftFrozen);
    clockCalls.GetSystemTimePreciseAsFileTime = ReadFrozenClock;
}

void ShiftFrozenClock(int64_t ll100ns)
{
    ULARGE_INTEGER ticks = {{ftFrozen.dwLowDateTime, ftFrozen.dwHighDateTime}};
    ticks.QuadPart += (uint64_t)ll100ns;
    ftFrozen.dwLowDateTime = ticks.LowPart;
    ftFrozen.dwHighDateTime = ticks.HighPart;
}

void ThawClock()
{
    clockCalls.GetSystemTimePreciseAsFileTime = realClockCalls.GetSystemTimePreciseAsFileTime;
}

void HoldMonotonicClock()
{
    clockCalls.GetTickCount64 = ReadHeldMonotonicClock;
}

void ReleaseMonotonicClock()
{
    clockCalls.GetTickCount64 = realClockCalls.GetTickCount64;
}
