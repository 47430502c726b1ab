#include <gtest/gtest.h>

#include <string>

#include "history/history_text.h"

namespace {

// Whole lines: the local time, the offset and the delay to the microsecond,
// truncated, and the outcome by name.
TEST(HistoryText, ALineAReplyForASpreadsheet)
{
    const SYSTEMTIME local = {2026, 12, 3, 9, 23, 3, 38, 500};
    const struct {
        HistoryPoint point;
        std::string line;
    } rows[] = {
        {{0, 0x0000000080000000ll, 0x00418937, REPLY_WITHIN_TOLERANCE},
         "2026/12/09 23:03:38.500\t+0.500000\t0.000999\t\x8B\x96\x97\x65\x93\xE0"},  // 許容内
        {{0, -0x00000E1040000000ll, 0, REPLY_NOT_CORRECTED},
         "2026/12/09 23:03:38.500\t-3600.250000\t0.000000\t\x8F\x43\x90\xB3\x8E\xB8\x94\x73"},  // 修正失敗
        {{0, 0x0000000000000001ll, 0xB3333333, REPLY_TOO_SLOW},
         "2026/12/09 23:03:38.500\t+0.000000\t0.699999\t\x92\x78\x89\x84\x92\xB4\x89\xDF"},  // 遅延超過
        {{0, -1, 0xFFFFFFFF00000000ull, REPLY_CORRECTED},
         "2026/12/09 23:03:38.500\t-0.000000\t4294967295.000000\t\x8F\x43\x90\xB3"},  // 修正
    };
    for (const auto& row : rows) {
        HistoryLineBuffer line;
        FormatHistoryLine(line, local, row.point);
        EXPECT_EQ(line, row.line);
    }
}

}  // namespace
