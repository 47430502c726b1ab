#include "app/exit_countdown.h"

#include "app/tray_tip.h"
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
bool fWaiting = false;     // not resident, and wanting to be online since qwWaitingSince_ms
uint64_t qwWaitingSince_ms = 0;

// Why the run gives up: the requests unanswered, or what kept it from asking.
void SayWhyNoReply(const ClientReport& report)
{
    LogLineBuffer line;
    if (report.nStatus == CLIENT_ONLINE) {
        FormatLogLine(line, "%lu回続けて使える応答がなかったため、終了コード2で終了します",
                      (unsigned long)report.nPollsUnanswered);
    } else {
        FormatLogLine(line, "2分間使える応答がなかったため、終了コード2で終了します (%s)", TryCauseWords(report.nTryCause));
    }
    LogLine(line);
}

void StartCountdown(RunResult result, const ClientReport& report)
{
    if (result == RUN_NOT_CORRECTED) LogLine("時刻を合わせられなかったため、終了コード1で終了します");
    if (result == RUN_NO_REPLY) SayWhyNoReply(report);
    nResult = result;
    fExitCountdown = true;
    nExitCount = 0;
}

// Two minutes of wanting to be online, and a request out has had its time
// for the reply: the server, the name or the network has had its chances.
bool GaveUp(const ClientReport& report)
{
    uint64_t now = MonotonicMs();
    if (report.nFace == FACE_OFFLINE) {
        fWaiting = false;
        return false;
    }
    if (!fWaiting) qwWaitingSince_ms = now;
    fWaiting = true;
    if (now - qwWaitingSince_ms < ONE_SHOT_WAIT_MS) return false;
    return report.nStatus != CLIENT_ONLINE || now - report.qwLastPoll_ms >= LAST_REPLY_WAIT_MS;
}

}  // namespace

bool CountDownToExit(const ClientReport& report)
{
    bool fSucceeded = report.nPollsSucceeded > nPollsSeen;
    nPollsSeen = report.nPollsSucceeded;
    if (settings.fStayAfterAdjustment) {
        fWaiting = false;
    } else if (fSucceeded) {
        StartCountdown(report.reference.fSynchronized ? RUN_SYNCHRONISED : RUN_NOT_CORRECTED, report);
    } else if (!fExitCountdown && GaveUp(report)) {
        StartCountdown(RUN_NO_REPLY, report);
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
    fWaiting = false;
}

int ExitCodeOfRun()
{
    return fExpired ? (int)nResult : 0;
}
