// The range of a numeric setting, and what becomes of a stored number
// outside it: kept pure, so that it is tested natively.
#pragma once

#include <stdint.h>

struct NumberRange {
    int32_t nMinimum;
    int32_t nMaximum;
};

// A stored number brought into the range: below it the minimum, above it
// the maximum.
int32_t NumberInRange(int32_t nStored, NumberRange range);
