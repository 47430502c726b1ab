#include "sntp/client_poll.h"

#include <windows.h>
#include <bcrypt.h>

#include "base/system_library.h"
#include "log/activity_log.h"
#include "sntp/client_state.h"
#include "sntp/receive.h"
#include "timebase/clock.h"

namespace {

// 64 bits from the system's cryptographic source; never 0, which a reply
// could not echo. Where the source fails, the clock, as requests used to carry.
uint64_t RandomRequestCookie()
{
    typedef NTSTATUS(WINAPI * GenRandom)(BCRYPT_ALG_HANDLE, PUCHAR, ULONG, ULONG);
    static const GenRandom pfnGenRandom = (GenRandom)(void*)SystemFunction(L"bcrypt.dll", "BCryptGenRandom");
    uint64_t qwCookie = 0;
    if (pfnGenRandom == NULL ||
        pfnGenRandom(NULL, (PUCHAR)&qwCookie, sizeof qwCookie, BCRYPT_USE_SYSTEM_PREFERRED_RNG) != 0) {
        qwCookie = NtpNow();
    }
    return qwCookie != 0 ? qwCookie : 1;
}

}  // namespace

ClientPoll clientPoll;

void PollSoon()
{
    if (clientLink.nStatus != CLIENT_ONLINE) return;
    if (MonotonicMs() - clientPoll.qwLastPoll_ms >= (uint64_t)MIN_RETRY_SEC * 1000) clientPoll.fPollNow = 1;
}

void PollServer()
{
    clientPoll.fPollNow = 0;
    clientPoll.qwLastPoll_ms = MonotonicMs();
    ++clientPoll.nUnanswered;
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

bool PollIsDue(uint64_t qwNow_ms)
{
    return TimeToPoll(qwNow_ms, clientPoll.qwLastPoll_ms, clientPoll.fPollNow != 0, IntervalInForce(),
                      clientPoll.nRetry_sec);
}

NetworkAction HearNetwork(NetworkState now)
{
    NetworkAction action =
        ReactToNetwork(clientPoll.nNetwork, now, clientLink.fWantOnline != 0, clientLink.nStatus);
    if (now != NETWORK_UNKNOWN) clientPoll.nNetwork = now;
    return action;
}

uint32_t IntervalInForce()
{
    return PollInterval(clientConfig.nInterval_minute, clientPoll.nRateShift);
}

uint32_t BackOff(uint32_t nCap_sec)
{
    clientPoll.nRetry_sec = NextRetryDelay(clientPoll.nRetry_sec, nCap_sec);
    return clientPoll.nRetry_sec;
}

void StartAfresh()
{
    clientPoll.nRetry_sec = 0;
    clientPoll.nUnanswered = 0;
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

// Once, as soon as 15 s have passed: the backoff stays where it was, so
// that a server whose leaps keep disagreeing is asked ever less often.
void AskWitness()
{
    PollAtOnce();
}

void PollAtOnce()
{
    clientPoll.fPollNow = 1;
}

void EndBackOff()
{
    clientPoll.nRetry_sec = 0;
    clientPoll.nUnanswered = 0;
}
