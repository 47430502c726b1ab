// The range of a numeric setting, and what becomes of a stored number that
// its up-down control could not show: kept pure, so that it is tested natively.
#pragma once

#include <stdint.h>

struct NumberRange {
    int32_t nMinimum;
    int32_t nMaximum;
};

// A stored number as its up-down control takes it: its low 16 bits, read
// signed, then brought into the range.
int32_t NumberInRange(int32_t nStored, NumberRange range);
