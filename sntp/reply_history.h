// The client's record of the replies it judged: the newest 1,000, oldest
// first, each with its arrival, offset, loop delay and what became of it,
// for the history window. Pure, so that it is checked natively; the client
// keeps the one record.
#pragma once

#include <stdint.h>

#include "timebase/ntp_time.h"

enum { REPLY_HISTORY_SIZE = 1000 };

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

struct ReplyHistory {
    HistoryPoint aPoints[REPLY_HISTORY_SIZE];
    int nFirst;            // slot of the oldest point kept
    int nCount;            // points kept, at most REPLY_HISTORY_SIZE
    uint64_t qwAppended;   // points ever appended: a view compares it with what it shows
};

// Appends the newest point; with the record full, the oldest goes.
void AppendHistory(ReplyHistory* history, const HistoryPoint& point);

// Point i, counted from the oldest kept (0 .. nCount - 1).
const HistoryPoint& HistoryAt(const ReplyHistory& history, int i);
