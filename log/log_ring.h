// The activity log's lines as data: the newest 500 in a ring, oldest first,
// each cut to the log's line buffer on a code page 932 character boundary
// and kept with the local time it was logged at. Pure, so that it is checked
// natively; the log module owns the one ring.
#pragma once

#include <stdint.h>

#include "log/log_format.h"

enum { LOG_RING_LINES = 500 };

// Room for every line kept, stamped, and the terminating zero.
enum { LOG_RING_TEXT_SIZE = LOG_RING_LINES * (STAMPED_LINE_SIZE - 1) + 1 };

struct LogRing {
    char aszLines[LOG_RING_LINES][LOG_LINE_SIZE];
    SYSTEMTIME aLocalTimes[LOG_RING_LINES];  // each line's, for the file and a copy
    int nFirst;            // slot of the oldest line kept
    int nCount;            // lines kept, at most LOG_RING_LINES
    uint64_t qwAppended;   // lines ever appended: a view compares it with what it shows
};

// Appends text, logged at local, as the newest line; with the ring full, the oldest goes.
void AppendToRing(LogRing* ring, const char* text, const SYSTEMTIME& local);

// Line i, counted from the oldest kept (0 .. nCount - 1).
const char* RingLine(const LogRing* ring, int i);
const SYSTEMTIME& RingLineTime(const LogRing* ring, int i);

// The lines kept, oldest first, each stamped as FormatStampedLine does; the text's length.
size_t RingText(const LogRing* ring, char (&text)[LOG_RING_TEXT_SIZE]);
