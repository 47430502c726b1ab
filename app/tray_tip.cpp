#include "app/tray_tip.h"

#include "log/log_format.h"
#include "timebase/ntp_time.h"

void FormatTrayTip(TrayTipBuffer& tip, TipState state, const TipMoment& when, int64_t llOffset)
{
    LogLineBuffer text;
    if (state == TIP_OFFLINE) {
        FormatLogLine(text, "Tamarin Time\nオフライン");
    } else if (state == TIP_UNSYNCHRONISED) {
        FormatLogLine(text, "Tamarin Time\n未同期");
    } else if (state == TIP_WARNING) {
        FormatLogLine(text, "Tamarin Time\n要確認 %02d/%02d %02d:%02d から", when.nMonth, when.nDay, when.nHour,
                      when.nMinute);
    } else {
        LogLineBuffer prefix;
        FormatLogLine(prefix, "Tamarin Time\n最終同期 %02d/%02d %02d:%02d %c", when.nMonth, when.nDay, when.nHour,
                      when.nMinute, llOffset < 0 ? '-' : '+');
        FormatSecondsLine(text, prefix, OffsetMagnitude(llOffset), "秒");
    }
    CopyCp932(tip, TRAY_TIP_SIZE, text);
}

TipState DecideTipState(const TipFacts& facts)
{
    if (!facts.fOnline) return TIP_OFFLINE;
    bool fRefused = facts.fJudged && !facts.fSynchronised;
    if (fRefused || facts.qwNow_ms - facts.qwChecked_ms > facts.qwUncheckedLimit_ms) return TIP_WARNING;
    return facts.fSynchronised && facts.fJudged ? TIP_SYNCHRONISED : TIP_UNSYNCHRONISED;
}
