// The clocks as the program reads them, standing still, so that a test can
// expect whole lines of delays and offsets, and move time by hours.
#pragma once

#include "timebase/ntp_time.h"

// Stops the clock the program reads at the system's time now (so that Wine
// still takes a step near it) and returns that time.
NtpTimestamp FreezeClock();

// Stops it at a time of the test's own, given in UTC.
void FreezeClockAt(const SYSTEMTIME& utc);

// Moves the stopped clock by ll100ns (units of 100 ns, FILETIME's), which
// moves what the program reads by exactly that.
void ShiftFrozenClock(int64_t ll100ns);

// The program reads the system's clock again.
void ThawClock();

// The monotonic clock the program reads (which counts sleep), standing at
// qwMonotonic_ms, which the test moves; and back to the system's.
extern uint64_t qwMonotonic_ms;
void HoldMonotonicClock();
void ReleaseMonotonicClock();
