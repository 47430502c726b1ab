// NTP timestamps, the program's one representation of time, and their pure
// conversions to and from calendar time (always UTC) and wire byte order.
// Nothing here reads a clock or keeps state, so every call is safe anywhere.
#pragma once

#include <stdint.h>

#ifdef _WIN32
#include <windows.h>
#else
// Off Windows, a record laid out like the platform's SYSTEMTIME, so that the
// conversions build and are tested natively.
typedef struct _SYSTEMTIME {
    uint16_t wYear;
    uint16_t wMonth;
    uint16_t wDayOfWeek;  // 0 = Sunday
    uint16_t wDay;
    uint16_t wHour;
    uint16_t wMinute;
    uint16_t wSecond;
    uint16_t wMilliseconds;
} SYSTEMTIME;
#endif

// Whole seconds since 1900-01-01 00:00:00 UTC in the high 32 bits (wrapping
// at 2036-02-07 06:28:16), fraction of a second in units of 2^-32 s in the low
// 32 bits. Durations and offsets use the same 32.32 form.
typedef uint64_t NtpTimestamp;

// Calendar time to timestamp; wDayOfWeek is not read. Times from 2036-02-07
// 06:28:16 on wrap into the next era. A record the clock never gives (month
// outside 1-12, milliseconds above 999) yields 0, the timestamp of no time.
NtpTimestamp SystemTimeToNtp(const SYSTEMTIME* pUtc);

// Timestamp to calendar time, all eight fields. Seconds with the top bit set
// lie in 1968-01-20 03:14:08 .. 2036-02-07 06:28:15, the others in
// 2036-02-07 06:28:16 .. 2104-02-26 09:42:23. Milliseconds truncate.
SYSTEMTIME NtpToSystemTime(NtpTimestamp t);

// The system's FILETIME count, 100 ns ticks since 1601-01-01 00:00:00 UTC,
// as a timestamp at its full resolution: fractions truncate, and times from
// 2036-02-07 06:28:16 on wrap into the next era.
NtpTimestamp FileTimeToNtp(uint64_t qwTicks);

// The precision of a clock that reads in steps of nTicks 100 ns ticks (0 is
// taken as 1), as NTP states it: the least power of two in seconds, its
// exponent, that is not shorter than one step. One tick gives -23.
int NtpPrecision(uint32_t nTicks);

// A count of milliseconds as a 32.32 duration, truncated: (ms << 32) / 1000.
uint64_t MillisecondsToNtp(uint32_t ms);

// The magnitude of a signed 32.32 offset, as an unsigned value.
uint64_t OffsetMagnitude(int64_t llOffset);

// Reverses the eight bytes: host order to wire order and back.
uint64_t NtpToNetwork(uint64_t value);
