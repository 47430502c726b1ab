#include <gtest/gtest.h>

#include "settings/number_range.h"

namespace {

TEST(NumberRange, StoredNumbersAreBroughtIntoTheirRange)
{
    const NumberRange interval = {1, 999};
    const struct {
        int32_t nStored;
        int32_t nExpected;
    } rows[] = {
        {1, 1},       {999, 999},    {10, 10},          {0, 1},           {1000, 999},
        {-5, 1},      {65537, 999},  {0x00010000, 999},  // whole values, not their low 16 bits
        {INT32_MIN, 1}, {INT32_MAX, 999},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(NumberInRange(row.nStored, interval), row.nExpected) << row.nStored;
    }
    EXPECT_EQ(NumberInRange(40000, {1, 9999}), 9999);
}

}  // namespace
