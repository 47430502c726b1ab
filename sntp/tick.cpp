#include "sntp/tick.h"

#include <windows.h>
#include <bcrypt.h>

#include "log/activity_log.h"
#include "log/log_format.h"
#include "settings/settings_table.h"
#include "sntp/client.h"
#include "sntp/client_read.h"
#include "sntp/network_probe.h"
#include "sntp/receive.h"
#include "sntp/schedule.h"
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

// 64 bits from the system's cryptographic source; never 0, which a reply
// could not echo. Where the source fails, the clock, as requests used to carry.
uint64_t RandomRequestCookie()
{
    uint64_t qwCookie = 0;
    if (BCryptGenRandom(NULL, (PUCHAR)&qwCookie, sizeof qwCookie, BCRYPT_USE_SYSTEM_PREFERRED_RNG) != 0) {
        qwCookie = NtpNow();
    }
    return qwCookie != 0 ? qwCookie : 1;
}

uint32_t CurrentInterval()
{
    return PollInterval(settings.nCheckTimer_minute, client.nRateShift);
}

// Only a change of the answer acts; the first answer is the baseline.
void ConsultNetworkProbe()
{
    NetworkState now = networkProbe(client.saServer.sin_addr.s_addr);
    NetworkAction action = ReactToNetwork(client.nNetwork, now, client.fWantOnline != 0, client.nStatus);
    if (now != NETWORK_UNKNOWN) client.nNetwork = now;
    switch (action) {
    case NETWORK_GO_OFFLINE:
        LogLine("ダイアルアップ切断を検出");
        StopClient(true);
        break;
    case NETWORK_GO_ONLINE:
        LogLine("ダイアルアップ接続を検出");
        GoOnlineAgain();
        break;
    case NETWORK_POLL_NOW:
        PollSoon();
        break;
    case NETWORK_NOTHING:
        break;
    }
}

void RunClientSchedule()
{
    uint64_t now = MonotonicMs();
    if (client.nStatus == CLIENT_WAITING && now >= client.qwNextAttempt_ms) {
        GoOnlineAgain();
        return;
    }
    if (client.nStatus != CLIENT_ONLINE) return;
    if (TimeToPoll(now, client.qwLastPoll_ms, client.fPollNow != 0, CurrentInterval(), client.nRetry_sec)) {
        PollServer();
    }
}

}  // namespace

NetworkState (*networkProbe)(uint32_t dwServerAddress) = ProbeNetwork;

bool OnTimerTick()
{
    SumUpStrayDatagrams();
    ConsultNetworkProbe();
    bool fExpired = client.fExitCountdown && CountDownToExit();
    RunClientSchedule();
    return fExpired;
}

void CancelExitCountdown()
{
    client.fExitCountdown = 0;
}

void PollSoon()
{
    if (client.nStatus != CLIENT_ONLINE) return;
    if (MonotonicMs() - client.qwLastPoll_ms >= (uint64_t)MIN_RETRY_SEC * 1000) client.fPollNow = 1;
}

void PollServer()
{
    client.fPollNow = 0;
    client.qwLastPoll_ms = MonotonicMs();
    client.nRetry_sec = NextRetryDelay(client.nRetry_sec, CurrentInterval());
    // A random transmit timestamp, kept to match the reply, and the real one
    // to ourselves: a forger off the path cannot guess what to echo.
    uint64_t qwCookie = RandomRequestCookie();
    NtpTimestamp t1 = NtpNow();
    bool fSent = SendClientRequest(client.sockClient, &client.saServer, qwCookie) != SOCKET_ERROR;
    if (!fSent) LogError("sendto", WSAGetLastError());
    client.fAwaitingReply = fSent ? 1 : 0;
    client.qwRequestTime = t1;
    client.qwRequestCookie = qwCookie;
}
