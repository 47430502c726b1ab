// A reply the client judged: its figures and what became of it, as the
// client tells its host the moment it is judged. Plain data, free of
// Windows, shared by the history kept across starts and the history window.
#pragma once

#include <stdint.h>

#include "timebase/ntp_time.h"

enum ReplyOutcome : uint8_t {
    REPLY_WITHIN_TOLERANCE,  // the clock was found right and left alone
    REPLY_CORRECTED,         // the clock was set by the offset
    REPLY_NOT_CORRECTED,     // a correction was due and the system refused it
    REPLY_TOO_SLOW,          // the loop delay was above the limit: the reply was refused
};

struct HistoryPoint {
    NtpTimestamp qwArrival;  // T4, as the clock read it
    int64_t llOffset;        // 32.32; positive: the clock was behind the server
    uint64_t qwLoopDelay;    // 32.32
    ReplyOutcome nOutcome;
};

// The point, and the source that answered.
struct JudgedReply {
    HistoryPoint point;
    const char* szSourceName;   // the server name the way online used
    uint8_t abSourceAddress[4];  // its IPv4 address, first byte first
};
