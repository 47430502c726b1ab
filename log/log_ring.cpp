#include "log/log_ring.h"

void AppendToRing(LogRing* ring, const char* text)
{
    int slot = (ring->nFirst + ring->nCount) % LOG_RING_LINES;
    if (ring->nCount == LOG_RING_LINES) {
        ring->nFirst = (ring->nFirst + 1) % LOG_RING_LINES;
    } else {
        ++ring->nCount;
    }
    CopyCp932(ring->aszLines[slot], LOG_LINE_SIZE, text);
    ++ring->qwAppended;
}

const char* RingLine(const LogRing* ring, int i)
{
    return ring->aszLines[(ring->nFirst + i) % LOG_RING_LINES];
}
