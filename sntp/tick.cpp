#include "sntp/tick.h"

#include "log/activity_log.h"
#include "log/log_format.h"
#include "sntp/receive.h"
#include "state/program_state.h"
#include "timebase/clock.h"

namespace {

const int32_t nExitDelay_sec = 5;

// True when the countdown has run out.
bool CountDownToExit()
{
    ++client.nExitCount;
    if (client.nExitCount >= nExitDelay_sec) return true;
    LogLineBuffer line;
    FormatLogLine(line, "終了%d秒前", (int)(nExitDelay_sec - client.nExitCount));
    LogLine(line);
    return false;
}

void CountToNextPoll()
{
    ++client.nCycleCount;
    if (client.nCycleCount < settings.nCheckTimer_minute * 60) return;
    client.nCycleCount = 0;
    PollServer();
}

}  // namespace

// There is no dial-up probe: ticks never watch the machine's connections.
bool OnTimerTick()
{
    bool fExpired = client.fExitCountdown && CountDownToExit();
    if (client.fCycleActive) CountToNextPoll();
    return fExpired;
}

void CancelExitCountdown()
{
    client.fExitCountdown = 0;
}

void PollServer()
{
    NtpTimestamp t1 = NtpNow();
    bool fSent = SendClientRequest(client.sockClient, &client.saServer, t1) != SOCKET_ERROR;
    if (!fSent) LogError("sendto", WSAGetLastError());
    client.fAwaitingReply = fSent ? 1 : 0;
    client.qwRequestTime = t1;
}
