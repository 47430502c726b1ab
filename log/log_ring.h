// The activity log's lines as data: the newest 500 in a ring, oldest first,
// each cut to the log's line buffer on a code page 932 character boundary.
// Pure, so that it is checked natively; the log module owns the one ring.
#pragma once

#include <stdint.h>

#include "log/log_format.h"

enum { LOG_RING_LINES = 500 };

struct LogRing {
    char aszLines[LOG_RING_LINES][LOG_LINE_SIZE];
    int nFirst;            // slot of the oldest line kept
    int nCount;            // lines kept, at most LOG_RING_LINES
    uint64_t qwAppended;   // lines ever appended: a view compares it with what it shows
};

// Appends text as the newest line; with the ring full, the oldest goes.
void AppendToRing(LogRing* ring, const char* text);

// Line i, counted from the oldest kept (0 .. nCount - 1).
const char* RingLine(const LogRing* ring, int i);
