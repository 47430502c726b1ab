#include "app/tray_tip.h"

#include <stdio.h>
#include <string.h>

#include "log/log_format.h"

void FormatTrayTip(TrayTipBuffer& tip, TipState state, const TipMoment& when, int64_t llOffset)
{
    char text[128];
    if (state == TIP_OFFLINE) {
        snprintf(text, sizeof text, "Tamarin Time\nオフライン");
    } else if (state == TIP_UNSYNCHRONISED) {
        snprintf(text, sizeof text, "Tamarin Time\n未同期");
    } else if (state == TIP_WARNING) {
        snprintf(text, sizeof text, "Tamarin Time\n要確認 %02d/%02d %02d:%02d から", when.nMonth, when.nDay, when.nHour,
                 when.nMinute);
    } else {
        uint64_t qwSize = llOffset < 0 ? 0 - (uint64_t)llOffset : (uint64_t)llOffset;
        snprintf(text, sizeof text, "Tamarin Time\n最終同期 %02d/%02d %02d:%02d %c%lu.%03lu秒", when.nMonth, when.nDay,
                 when.nHour, when.nMinute, llOffset < 0 ? '-' : '+', (unsigned long)(qwSize >> 32),
                 (unsigned long)(((qwSize & 0xFFFFFFFFull) * 1000) >> 32));
    }
    size_t length = strlen(text);
    if (length >= TRAY_TIP_SIZE) length = Cp932Boundary(text, TRAY_TIP_SIZE - 1);
    memcpy(tip, text, length);
    tip[length] = '\0';
}

TipState DecideTipState(const TipFacts& facts)
{
    if (!facts.fOnline) return TIP_OFFLINE;
    uint64_t qwLimit_ms = (uint64_t)facts.nInterval_sec * 3 * 1000;
    if (qwLimit_ms < 3600 * 1000) qwLimit_ms = 3600 * 1000;
    bool fRefused = facts.fJudged && !facts.fSynchronised;
    if (fRefused || facts.qwNow_ms - facts.qwChecked_ms > qwLimit_ms) return TIP_WARNING;
    return facts.fSynchronised && facts.fJudged ? TIP_SYNCHRONISED : TIP_UNSYNCHRONISED;
}
