// The slot arithmetic of a bounded ring, oldest entry first, that the log's
// lines and the record of judged replies share. Pure.
#pragma once

// The slot a ring of nCapacity slots writes its next entry to, counted in:
// with the ring full, the oldest (at *pnFirst) goes to make room.
int TakeRingSlot(int* pnFirst, int* pnCount, int nCapacity);
