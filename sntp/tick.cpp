#include "sntp/tick.h"

#include "app/state.h"
#include "log/activity_log.h"
#include "log/log_format.h"
#include "sntp/receive.h"

namespace {

const int32_t nExitDelay_sec = 5;

void CountDownToExit()
{
    ++nExitCount;
    if (nExitCount < nExitDelay_sec) {
        LogLineBuffer line;
        FormatLogLine(line, "終了%d秒前", (int)(nExitDelay_sec - nExitCount));
        LogLine(line);
    } else {
        PostMessageA(MainWindow, WM_CLOSE, 0, 0);  // again on every later tick while the window lives
    }
}

void CountToNextPoll()
{
    ++nCycleCount;
    if (nCycleCount < nCheckTimer_minute * 60) return;
    nCycleCount = 0;
    if (SendClientRequest(sockClient, &saServer) == SOCKET_ERROR) LogError("sendto", WSAGetLastError());
}

}  // namespace

// There is no dial-up probe: ticks never watch the machine's connections.
void OnTimerTick(WPARAM idTimer)
{
    if (LOWORD(idTimer) != 1) return;
    if (fExitCountdown) CountDownToExit();
    if (fCycleActive) CountToNextPoll();
}
