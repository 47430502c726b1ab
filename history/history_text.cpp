#include "history/history_text.h"

#include <stdio.h>

#include "timebase/ntp_time.h"

const char HISTORY_HEADER[] = "時刻\tオフセット(秒)\t遅延(秒)\t結果";

namespace {

const char* OutcomeName(ReplyOutcome nOutcome)
{
    switch (nOutcome) {
    case REPLY_WITHIN_TOLERANCE:
        return "許容内";
    case REPLY_CORRECTED:
        return "修正";
    case REPLY_NOT_CORRECTED:
        return "修正失敗";
    case REPLY_TOO_SLOW:
        return "遅延超過";
    }
    return "";
}

unsigned long Microseconds(uint64_t value)
{
    return (unsigned long)(((value & 0xFFFFFFFFu) * 1000000) >> 32);
}

}  // namespace

void FormatHistoryLine(HistoryLineBuffer& line, const SYSTEMTIME& local, const HistoryPoint& point)
{
    uint64_t qwOffset = OffsetMagnitude(point.llOffset);
    snprintf(line, sizeof line, "%04u/%02u/%02u %02u:%02u:%02u.%03u\t%c%lu.%06lu\t%lu.%06lu\t%s", local.wYear,
             local.wMonth, local.wDay, local.wHour, local.wMinute, local.wSecond, local.wMilliseconds,
             point.llOffset < 0 ? '-' : '+', (unsigned long)(qwOffset >> 32), Microseconds(qwOffset),
             (unsigned long)(point.qwLoopDelay >> 32), Microseconds(point.qwLoopDelay), OutcomeName(point.nOutcome));
}
