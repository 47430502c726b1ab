#include "log/log_ring.h"

#include "base/ring_slot.h"

void AppendToRing(LogRing* ring, const char* text)
{
    int slot = TakeRingSlot(&ring->nFirst, &ring->nCount, LOG_RING_LINES);
    CopyCp932(ring->aszLines[slot], LOG_LINE_SIZE, text);
    ++ring->qwAppended;
}

const char* RingLine(const LogRing* ring, int i)
{
    return ring->aszLines[(ring->nFirst + i) % LOG_RING_LINES];
}
