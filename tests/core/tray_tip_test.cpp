#include <gtest/gtest.h>

#include <limits.h>
#include <string.h>

#include "app/tray_tip.h"

namespace {

TEST(TrayTip, TellsTheStateInCodePage932Within64Bytes)
{
    const struct {
        TipState state;
        TipMoment when;
        int64_t llOffset;
        const char* tip;
    } rows[] = {
        {TIP_OFFLINE, {12, 9, 14, 3}, 0, "Tamarin Time\n\x83\x49\x83\x74\x83\x89\x83\x43\x83\x93"},  // オフライン
        {TIP_UNSYNCHRONISED, {12, 9, 14, 3}, 0, "Tamarin Time\n\x96\xA2\x93\xAF\x8A\xFA"},           // 未同期
        // 最終同期 12/09 14:03 +0.012秒: 0.0125 s, truncated.
        {TIP_SYNCHRONISED, {12, 9, 14, 3}, 0x0000000003333333ll,
         "Tamarin Time\n\x8D\xC5\x8F\x49\x93\xAF\x8A\xFA 12/09 14:03 +0.012\x95\x62"},
        {TIP_SYNCHRONISED, {1, 1, 0, 0}, -0x0000000180000000ll,
         "Tamarin Time\n\x8D\xC5\x8F\x49\x93\xAF\x8A\xFA 01/01 00:00 -1.500\x95\x62"},
        {TIP_SYNCHRONISED, {12, 31, 23, 59}, LLONG_MIN,
         "Tamarin Time\n\x8D\xC5\x8F\x49\x93\xAF\x8A\xFA 12/31 23:59 -2147483648.000\x95\x62"},
        {TIP_WARNING, {12, 9, 14, 3}, 0, "Tamarin Time\n\x97\x76\x8A\x6D\x94\x46 12/09 14:03 \x82\xA9\x82\xE7"},  // 要確認 … から
        // Beyond 63 bytes the cut falls before the two-byte 秒, not through it.
        {TIP_SYNCHRONISED, {INT_MIN, INT_MIN, 0, 0}, 0x0000303900000000ll,
         "Tamarin Time\n\x8D\xC5\x8F\x49\x93\xAF\x8A\xFA -2147483648/-2147483648 00:00 +12345.000"},
    };
    for (const auto& row : rows) {
        TrayTipBuffer tip;
        memset(tip, 'x', sizeof tip);
        FormatTrayTip(tip, row.state, row.when, row.llOffset);
        EXPECT_STREQ(tip, row.tip);
    }
}

// Online, a warning once the clock went unchecked longer than the client's
// limit, or when the last judgement refused the correction.
TEST(TrayTip, WarnsWhenTheClockHasGoneUncheckedTooLong)
{
    const uint64_t kHour = 3600 * 1000;
    const struct {
        TipFacts facts;
        TipState state;
    } rows[] = {
        {{false, true, true, 5 * kHour, 0, kHour}, TIP_OFFLINE},
        {{true, false, false, kHour, 0, kHour}, TIP_UNSYNCHRONISED},
        {{true, false, false, kHour + 1, 0, kHour}, TIP_WARNING},        // online an hour, nothing judged
        {{true, true, true, 2 * kHour, kHour, kHour}, TIP_SYNCHRONISED},
        {{true, true, true, 2 * kHour + 1, kHour, kHour}, TIP_WARNING},
        {{true, true, true, 4 * kHour, kHour, 3 * kHour}, TIP_SYNCHRONISED},
        {{true, true, true, 4 * kHour + 1, kHour, 3 * kHour}, TIP_WARNING},
        {{true, false, true, kHour, kHour, kHour}, TIP_WARNING},         // the correction refused
    };
    for (const auto& row : rows) {
        EXPECT_EQ(DecideTipState(row.facts), row.state) << row.facts.qwNow_ms << " " << row.facts.qwUncheckedLimit_ms;
    }
}

}  // namespace
