#include "sntp/client_poll.h"

#include <windows.h>
#include <bcrypt.h>

#include "log/activity_log.h"
#include "settings/settings_table.h"
#include "sntp/client.h"
#include "sntp/client_link.h"
#include "sntp/client_read.h"
#include "sntp/client_state.h"
#include "sntp/network_probe.h"
#include "sntp/receive.h"
#include "sntp/schedule.h"
#include "timebase/clock.h"

namespace {

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

// Only a change of the answer acts; the first answer is the baseline.
void ConsultNetworkProbe()
{
    NetworkState now = networkProbe(clientLink.saServer.sin_addr.s_addr);
    NetworkAction action =
        ReactToNetwork(clientPoll.nNetwork, now, clientLink.fWantOnline != 0, clientLink.nStatus);
    if (now != NETWORK_UNKNOWN) clientPoll.nNetwork = now;
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
    if (clientLink.nStatus == CLIENT_WAITING && now >= clientLink.qwNextAttempt_ms) {
        GoOnlineAgain();
        return;
    }
    if (clientLink.nStatus != CLIENT_ONLINE) return;
    if (TimeToPoll(now, clientPoll.qwLastPoll_ms, clientPoll.fPollNow != 0, IntervalInForce(),
                   clientPoll.nRetry_sec)) {
        PollServer();
    }
}

}  // namespace

ClientPoll clientPoll;
NetworkState (*networkProbe)(uint32_t dwServerAddress) = ProbeNetwork;

void OnClientTick()
{
    SumUpStrayDatagrams();
    ConsultNetworkProbe();
    RunClientSchedule();
}

void PollSoon()
{
    if (clientLink.nStatus != CLIENT_ONLINE) return;
    if (MonotonicMs() - clientPoll.qwLastPoll_ms >= (uint64_t)MIN_RETRY_SEC * 1000) clientPoll.fPollNow = 1;
}

void PollServer()
{
    clientPoll.fPollNow = 0;
    clientPoll.qwLastPoll_ms = MonotonicMs();
    BackOff(IntervalInForce());
    // A random transmit timestamp, kept to match the reply, and the real one
    // to ourselves: a forger off the path cannot guess what to echo.
    uint64_t qwCookie = RandomRequestCookie();
    NtpTimestamp t1 = NtpNow();
    bool fSent = SendClientRequest(clientLink.sockClient, &clientLink.saServer, qwCookie) != SOCKET_ERROR;
    if (!fSent) LogError("sendto", WSAGetLastError());
    clientPoll.fAwaitingReply = fSent ? 1 : 0;
    clientPoll.qwRequestTime = t1;
    clientPoll.qwRequestCookie = qwCookie;
}

uint32_t IntervalInForce()
{
    return PollInterval(settings.nCheckTimer_minute, clientPoll.nRateShift);
}

uint32_t BackOff(uint32_t nCap_sec)
{
    clientPoll.nRetry_sec = NextRetryDelay(clientPoll.nRetry_sec, nCap_sec);
    return clientPoll.nRetry_sec;
}

void StartAfresh()
{
    clientPoll.nRetry_sec = 0;
    clientPoll.nRateShift = 0;
    clientPoll.qwLastPoll_ms = 0;
    clientPoll.nNetwork = NETWORK_UNKNOWN;
}

void StartPolling()
{
    clientPoll.nRetry_sec = 0;
    clientPoll.fPollNow = 1;
}

void CloseRequest()
{
    clientPoll.fAwaitingReply = 0;
}

void SlowDown()
{
    ++clientPoll.nRateShift;
    clientPoll.nRetry_sec = 0;
    clientPoll.fAwaitingReply = 0;
}

void AskWitness()
{
    clientPoll.nRetry_sec = MIN_RETRY_SEC;
}

void EndBackOff()
{
    clientPoll.nRetry_sec = 0;
}
