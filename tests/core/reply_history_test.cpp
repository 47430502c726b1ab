#include <gtest/gtest.h>

#include "history/reply_history.h"

namespace {

// The record keeps the newest thousand, oldest first.
TEST(ReplyHistory, TheRecordKeepsTheNewestThousand)
{
    static ReplyHistory history;
    for (int i = 1; i <= 1001; ++i) AppendHistory(&history, HistoryPoint{(NtpTimestamp)i, 0, 0, REPLY_CORRECTED});
    EXPECT_EQ(history.nCount, 1000);
    EXPECT_EQ(history.qwAppended, 1001u);
    EXPECT_EQ(HistoryAt(history, 0).qwArrival, 2u);
    EXPECT_EQ(HistoryAt(history, 999).qwArrival, 1001u);
}

}  // namespace
