#include "app/exit_countdown.h"

#include "log/activity_log.h"
#include "log/log_format.h"
#include "settings/settings_table.h"

namespace {

const int32_t nExitDelay_sec = 5;

bool fExitCountdown = false;
int32_t nExitCount = 0;
uint64_t nPollsSeen = 0;  // the client's successes that the countdown has taken

}  // namespace

bool CountDownToExit(const ClientReport& report)
{
    if (report.nPollsSucceeded != nPollsSeen) {
        nPollsSeen = report.nPollsSucceeded;
        if (!settings.fStayAfterAdjustment) {
            fExitCountdown = true;
            nExitCount = 0;
        }
    }
    if (!fExitCountdown) return false;
    ++nExitCount;
    if (nExitCount >= nExitDelay_sec) return true;
    LogLineBuffer line;
    FormatLogLine(line, "終了%d秒前", (int)(nExitDelay_sec - nExitCount));
    LogLine(line);
    return false;
}

void CancelExitCountdown()
{
    fExitCountdown = false;
}
