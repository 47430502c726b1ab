#include "log/log_ring.h"

#include <string.h>

#include "base/ring_slot.h"

void AppendToRing(LogRing* ring, const char* text, const SYSTEMTIME& local)
{
    int slot = TakeRingSlot(&ring->nFirst, &ring->nCount, LOG_RING_LINES);
    CopyCp932(ring->aszLines[slot], LOG_LINE_SIZE, text);
    ring->aLocalTimes[slot] = local;
    ++ring->qwAppended;
}

namespace {

// Line i's slot, counted from the oldest kept.
int SlotOf(const LogRing* ring, int i)
{
    return (ring->nFirst + i) % LOG_RING_LINES;
}

}  // namespace

const char* RingLine(const LogRing* ring, int i)
{
    return ring->aszLines[SlotOf(ring, i)];
}

const SYSTEMTIME& RingLineTime(const LogRing* ring, int i)
{
    return ring->aLocalTimes[SlotOf(ring, i)];
}

size_t RingText(const LogRing* ring, char (&text)[LOG_RING_TEXT_SIZE])
{
    size_t length = 0;
    text[0] = '\0';
    for (int i = 0; i < ring->nCount; ++i) {
        int slot = SlotOf(ring, i);
        StampedLineBuffer line;
        size_t lineLength = FormatStampedLine(line, ring->aLocalTimes[slot], ring->aszLines[slot]);
        memcpy(text + length, line, lineLength + 1);
        length += lineLength;
    }
    return length;
}
