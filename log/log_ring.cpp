#include "log/log_ring.h"

int TakeRingSlot(int* pnFirst, int* pnCount, int nCapacity)
{
    int slot = (*pnFirst + *pnCount) % nCapacity;
    if (*pnCount == nCapacity) {
        *pnFirst = (*pnFirst + 1) % nCapacity;
    } else {
        ++*pnCount;
    }
    return slot;
}

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
