// The judged replies as text for the clipboard, for a spreadsheet: a header
// line, then a tab-separated line a reply with its local time, offset and
// loop delay in seconds to the microsecond (truncated), and what became of
// it. Pure.
#pragma once

#include "history/reply_history.h"

enum { HISTORY_LINE_SIZE = 96 };

typedef char HistoryLineBuffer[HISTORY_LINE_SIZE];

// "時刻\tオフセット(秒)\t遅延(秒)\t結果"
extern const char HISTORY_HEADER[];

// "2026/12/09 23:03:38.500\t+0.012345\t0.001234\t修正", the outcome as
// 許容内, 修正, 修正失敗 or 遅延超過.
void FormatHistoryLine(HistoryLineBuffer& line, const SYSTEMTIME& local, const HistoryPoint& point);
