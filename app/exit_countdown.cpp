#include "app/exit_countdown.h"

#include "log/activity_log.h"
#include "log/log_format.h"
#include "settings/settings_table.h"
#include "timebase/clock.h"

namespace {

const int32_t nExitDelay_sec = 5;

bool fExitCountdown = false;
int32_t nExitCount = 0;
uint64_t nPollsSeen = 0;  // the client's successes that the countdown has taken
RunResult nResult = RUN_SYNCHRONISED;
bool fExpired = false;

void StartCountdown(RunResult result)
{
    if (result == RUN_NOT_CORRECTED) LogLine("時刻を合わせられなかったため、終了コード1で終了します");
    if (result == RUN_NO_REPLY) LogLine("4回続けて使える応答がなかったため、終了コード2で終了します");
    nResult = result;
    fExitCountdown = true;
    nExitCount = 0;
}

// The server has had its chances: four requests, and time for the last reply.
bool GaveUp(const ClientReport& report)
{
    return report.nPollsUnanswered >= MAX_UNANSWERED_POLLS &&
           MonotonicMs() - report.qwLastPoll_ms >= LAST_REPLY_WAIT_MS;
}

}  // namespace

bool CountDownToExit(const ClientReport& report)
{
    bool fSucceeded = report.nPollsSucceeded > nPollsSeen;
    nPollsSeen = report.nPollsSucceeded;
    if (!settings.fStayAfterAdjustment) {
        if (fSucceeded) {
            StartCountdown(report.reference.fSynchronized ? RUN_SYNCHRONISED : RUN_NOT_CORRECTED);
        } else if (!fExitCountdown && GaveUp(report)) {
            StartCountdown(RUN_NO_REPLY);
        }
    }
    if (!fExitCountdown) return false;
    ++nExitCount;
    if (nExitCount >= nExitDelay_sec) {
        fExpired = true;
        return true;
    }
    LogLineBuffer line;
    FormatLogLine(line, "終了%d秒前", (int)(nExitDelay_sec - nExitCount));
    LogLine(line);
    return false;
}

void CancelExitCountdown()
{
    fExitCountdown = false;
}

int ExitCodeOfRun()
{
    return fExpired ? (int)nResult : 0;
}
