#include "settings/number_range.h"

int32_t NumberInRange(int32_t nStored, NumberRange range)
{
    if (nStored < range.nMinimum) return range.nMinimum;
    if (nStored > range.nMaximum) return range.nMaximum;
    return nStored;
}
