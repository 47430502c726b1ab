#include "base/ring_slot.h"

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
