#include "log/log_ring.h"

#include <string.h>

void AppendToRing(LogRing* ring, const char* text)
{
    int slot = (ring->nFirst + ring->nCount) % LOG_RING_LINES;
    if (ring->nCount == LOG_RING_LINES) {
        ring->nFirst = (ring->nFirst + 1) % LOG_RING_LINES;
    } else {
        ++ring->nCount;
    }
    size_t length = strlen(text);
    if (length >= LOG_LINE_SIZE) length = Cp932Boundary(text, LOG_LINE_SIZE - 1);
    memcpy(ring->aszLines[slot], text, length);
    ring->aszLines[slot][length] = '\0';
    ++ring->qwAppended;
}

const char* RingLine(const LogRing* ring, int i)
{
    return ring->aszLines[(ring->nFirst + i) % LOG_RING_LINES];
}
