#include "app/tray_tip.h"

#include <string.h>

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

namespace {

// The tip with the text after it, cut as the tip must be.
void AppendToTip(TrayTipBuffer& tip, const char* szMore)
{
    LogLineBuffer text;
    FormatLogLine(text, "%s%s", tip, szMore);
    CopyCp932(tip, TRAY_TIP_SIZE, text);
}

}  // namespace

void NoteAgreement(TrayTipBuffer& tip, int nAgreeing, int nSources)
{
    if (nSources < 2) return;
    LogLineBuffer more;
    FormatLogLine(more, " (%d/%d)", nAgreeing, nSources);
    AppendToTip(tip, more);
}

void NoteServerModeDown(TrayTipBuffer& tip)
{
    AppendToTip(tip, "\nSNTP停止");
}

const char* TryCauseWords(TryCause cause)
{
    static const char* const aszWords[] = {"接続中", "ソケット エラー", "ホスト確認 エラー", "サーバー確認 エラー",
                                           "ネットワーク待ち", "サーバーが拒否"};
    static_assert(sizeof aszWords / sizeof *aszWords == TRY_REFUSED + 1, "words for each cause");
    return aszWords[cause];
}

// What it is doing first; why, in parentheses, where that does not say it already.
void FormatTryingTip(TrayTipBuffer& tip, const TipMoment& since, TryCause cause)
{
    static const char* const aszDoing[] = {"接続中", "再試行", "再試行", "再試行", "ネットワーク待ち", "停止"};
    static_assert(sizeof aszDoing / sizeof *aszDoing == TRY_REFUSED + 1, "a text for each cause");
    LogLineBuffer text, why = "";
    if (strcmp(aszDoing[cause], TryCauseWords(cause)) != 0) FormatLogLine(why, " (%s)", TryCauseWords(cause));
    FormatLogLine(text, "Tamarin Time\n%s %02d/%02d %02d:%02d から%s", aszDoing[cause], since.nMonth, since.nDay,
                  since.nHour, since.nMinute, why);
    CopyCp932(tip, TRAY_TIP_SIZE, text);
}

TipState DecideTipState(const TipFacts& facts)
{
    if (facts.nFace == FACE_TRYING) {
        bool fLong = facts.qwNow_ms - facts.qwTryingSince_ms >= TRYING_WARNING_MS;
        return facts.fStopped || fLong ? TIP_TRYING_TOO_LONG : TIP_TRYING;
    }
    if (facts.nFace != FACE_ONLINE) return TIP_OFFLINE;
    bool fRefused = facts.fJudged && !facts.fSynchronised;
    if (fRefused || facts.qwNow_ms - facts.qwChecked_ms > facts.qwUncheckedLimit_ms) return TIP_WARNING;
    return facts.fSynchronised && facts.fJudged ? TIP_SYNCHRONISED : TIP_UNSYNCHRONISED;
}
