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
    // Several sources: how many agreed of how many; a single one adds nothing.
    for (int nSources : {1, 4}) {
        TrayTipBuffer tip;
        FormatTrayTip(tip, rows[2].state, rows[2].when, rows[2].llOffset);
        NoteAgreement(tip, 3, nSources);
        EXPECT_EQ(std::string(tip), std::string(rows[2].tip) + (nSources == 1 ? "" : " (3/4)"));
    }
}

// Trying: what it does, since when, and why.
TEST(TrayTip, TellsWhatTheClientIsTryingAndWhy)
{
    const struct {
        TryCause cause;
        TipMoment since;
        const char* tip;
    } rows[] = {
        // 接続中 12/09 14:03 から
        {TRY_CONNECTING, {12, 9, 14, 3}, "Tamarin Time\n\x90\xDA\x91\xB1\x92\x86 12/09 14:03 \x82\xA9\x82\xE7"},
        // 再試行 01/31 00:00 から (ソケット エラー), with the 0x5C of ソ
        {TRY_SOCKET, {1, 31, 0, 0},
         "Tamarin Time\n\x8D\xC4\x8E\x8E\x8Ds 01/31 00:00 \x82\xA9\x82\xE7 (\x83\x5C\x83P\x83" "b\x83g \x83G\x83\x89\x81[)"},
        // 再試行 12/09 14:03 から (ホスト確認 エラー)
        {TRY_HOST, {12, 9, 14, 3},
         "Tamarin Time\n\x8D\xC4\x8E\x8E\x8Ds 12/09 14:03 \x82\xA9\x82\xE7 (\x83z\x83X\x83g\x8Am\x94" "F \x83G\x83\x89\x81[)"},
        // 再試行 12/09 14:03 から (サーバー確認 エラー): 58 bytes
        {TRY_SERVICE, {12, 9, 14, 3},
         "Tamarin Time\n\x8D\xC4\x8E\x8E\x8Ds 12/09 14:03 \x82\xA9\x82\xE7 (\x83T\x81[\x83o\x81[\x8Am\x94" "F "
         "\x83G\x83\x89\x81[)"},
        // ネットワーク待ち 12/09 14:03 から
        {TRY_NETWORK_GONE, {12, 9, 14, 3},
         "Tamarin Time\n\x83l\x83" "b\x83g\x83\x8F\x81[\x83N\x91\xD2\x82\xBF 12/09 14:03 \x82\xA9\x82\xE7"},
        // 停止 12/09 14:03 から (サーバーが拒否)
        {TRY_REFUSED, {12, 9, 14, 3},
         "Tamarin Time\n\x92\xE2\x8E~ 12/09 14:03 \x82\xA9\x82\xE7 (\x83T\x81[\x83o\x81[\x82\xAA\x8B\x91\x94\xDB)"},
    };
    for (const auto& row : rows) {
        TrayTipBuffer tip;
        memset(tip, 'x', sizeof tip);
        FormatTryingTip(tip, row.since, row.cause);
        EXPECT_STREQ(tip, row.tip);
    }
    // Server mode down: a last line, cut within the 64 bytes before 停.
    TrayTipBuffer tip;
    FormatTryingTip(tip, rows[3].since, rows[3].cause);
    NoteServerModeDown(tip);
    EXPECT_EQ(std::string(tip), std::string(rows[3].tip) + "\nSNTP");
    FormatTryingTip(tip, rows[0].since, rows[0].cause);
    NoteServerModeDown(tip);
    EXPECT_EQ(std::string(tip), std::string(rows[0].tip) + "\nSNTP\x92\xE2\x8E~");  // SNTP停止
}

// Trying, a warning after two minutes, or at once when the server stopped
// it. Online, a warning once the clock went unchecked longer than the
// client's limit, or when the last judgement refused the correction.
TEST(TrayTip, WarnsWhenTheClockHasGoneUncheckedTooLong)
{
    const uint64_t kHour = 3600 * 1000, kTwoMinutes = 120 * 1000;
    const ClientFace OFF = FACE_OFFLINE, ON = FACE_ONLINE, TRYING = FACE_TRYING;
    const struct {
        TipFacts facts;
        TipState state;
    } rows[] = {
        {{OFF, false, 0, true, true, 5 * kHour, 0, kHour}, TIP_OFFLINE},
        {{ON, false, 0, false, false, kHour, 0, kHour}, TIP_UNSYNCHRONISED},
        {{ON, false, 0, false, false, kHour + 1, 0, kHour}, TIP_WARNING},        // online an hour, nothing judged
        {{ON, false, 0, true, true, 2 * kHour, kHour, kHour}, TIP_SYNCHRONISED},
        {{ON, false, 0, true, true, 2 * kHour + 1, kHour, kHour}, TIP_WARNING},
        {{ON, false, 0, true, true, 4 * kHour, kHour, 3 * kHour}, TIP_SYNCHRONISED},
        {{ON, false, 0, true, true, 4 * kHour + 1, kHour, 3 * kHour}, TIP_WARNING},
        {{ON, false, 0, false, true, kHour, kHour, kHour}, TIP_WARNING},         // the correction refused
        // Trying, whatever was judged before.
        {{TRYING, false, kHour, true, true, kHour + kTwoMinutes - 1, kHour, kHour}, TIP_TRYING},
        {{TRYING, false, kHour, true, true, kHour + kTwoMinutes, kHour, kHour}, TIP_TRYING_TOO_LONG},
        {{TRYING, true, kHour, false, false, kHour, 0, kHour}, TIP_TRYING_TOO_LONG},  // stopped by the server
    };
    for (const auto& row : rows) {
        EXPECT_EQ(DecideTipState(row.facts), row.state) << row.facts.qwNow_ms << " " << row.facts.qwUncheckedLimit_ms;
    }
}

}  // namespace
