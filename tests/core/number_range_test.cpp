#include <gtest/gtest.h>

#include "settings/number_range.h"

namespace {

TEST(NumberRange, StoredNumbersAreTakenAsTheirUpDownControlTakesThem)
{
    const NumberRange interval = {1, 999};
    const struct {
        int32_t nStored;
        int32_t nExpected;
    } rows[] = {
        {1, 1},         {999, 999},  {10, 10},
        {0, 1},         {1000, 999}, {-5, 1},
        {65537, 1},     // low 16 bits: 1
        {0x00010000, 1},  // low 16 bits: 0, below the range
        {0x000203E7, 999},  // low 16 bits: 999
        {0x0000FFFF, 1},  // low 16 bits read signed: -1
        {0x00008000, 1},  // -32768
        {0x00007FFF, 999},  // 32767
    };
    for (const auto& row : rows) {
        EXPECT_EQ(NumberInRange(row.nStored, interval), row.nExpected) << row.nStored;
    }
    EXPECT_EQ(NumberInRange(70000, {1, 9999}), 4464);  // 70000 - 65536
}

}  // namespace
