#include "settings/number_range.h"

int32_t NumberInRange(int32_t nStored, NumberRange range)
{
    int32_t n = (int16_t)(uint16_t)(uint32_t)nStored;
    if (n < range.nMinimum) return range.nMinimum;
    if (n > range.nMaximum) return range.nMaximum;
    return n;
}
