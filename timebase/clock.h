// The system clock, read as an NtpTimestamp.
#pragma once

#include "timebase/ntp_time.h"

// The system clock in UTC, to its millisecond.
NtpTimestamp NtpNow();
