#include <gtest/gtest.h>

#include "timebase/clock.h"

namespace {

// NTP seconds from the system's FILETIME clock, counted independently:
// 100 ns ticks since 1601-01-01, which lies 9435484800 s before 1900-01-01.
int64_t NtpSecondsFromFileTime()
{
    FILETIME ft;
    GetSystemTimeAsFileTime(&ft);
    uint64_t ticks = (uint64_t(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
    return int64_t(ticks / 10000000u) - 9435484800LL;
}

TEST(Clock, NowReadsTheSystemClockAsNtpTime)
{
    int64_t before = NtpSecondsFromFileTime();
    NtpTimestamp now = NtpNow();
    int64_t after = NtpSecondsFromFileTime();
    // Until 2036 the seconds are those since 1900 without wrapping.
    EXPECT_GE(int64_t(now >> 32), before);
    EXPECT_LE(int64_t(now >> 32), after);
}

}  // namespace
