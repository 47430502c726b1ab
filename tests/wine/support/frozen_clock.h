// The clock as the program reads it, standing still, so that a test can
// expect whole lines of delays and offsets.
#pragma once

#include "timebase/ntp_time.h"

// Stops the clock the program reads at the system's time now (so that Wine
// still takes a step near it) and returns that time.
NtpTimestamp FreezeClock();

// The program reads the system's clock again.
void ThawClock();
