#include "sntp/client_poll.h"

#include <windows.h>
#include <bcrypt.h>

#include "base/system_library.h"
#include "log/log_format.h"
#include "sntp/host_calls.h"
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

void PollSoon()
{
    for (int i = 0; i < client.nSources; ++i) {
        Source* source = &client.aSources[i];
        if (source->link.nStatus != CLIENT_ONLINE) continue;
        if (MonotonicMs() - source->poll.qwLastPoll_ms >= (uint64_t)MIN_RETRY_SEC * 1000) source->poll.fPollNow = 1;
    }
}

void PollNow()
{
    for (int i = 0; i < client.nSources; ++i) {
        if (client.aSources[i].link.nStatus == CLIENT_ONLINE) PollAtOnce(&client.aSources[i]);
    }
}

void PollServer(Source* source)
{
    SourcePoll& poll = source->poll;
    poll.fPollNow = 0;
    poll.qwLastPoll_ms = MonotonicMs();
    poll.nPhase_sec = poll.nPhaseNext_sec;
    poll.nPhaseNext_sec = 0;
    ++poll.nUnanswered;
    BackOff(source, IntervalInForce(source));
    // A random transmit timestamp, kept to match the reply, and the real one
    // to ourselves: a forger off the path cannot guess what to echo.
    uint64_t qwCookie = RandomRequestCookie();
    NtpTimestamp t1 = NtpNow();
    bool fSent = SendClientRequest(source->link.sock, &source->link.saServer, qwCookie) != SOCKET_ERROR;
    if (!fSent) HostLogError("sendto", WSAGetLastError());
    poll.fAwaitingReply = fSent ? 1 : 0;
    poll.qwRequestTime = t1;
    poll.qwRequestCookie = qwCookie;
}

bool PollIsDue(const Source* source, uint64_t qwNow_ms)
{
    const SourcePoll& poll = source->poll;
    return TimeToPoll(qwNow_ms, poll.qwLastPoll_ms, poll.fPollNow != 0, IntervalInForce(source) + poll.nPhase_sec,
                      poll.nRetry_sec);
}

NetworkAction HearNetwork(NetworkState now, ClientStatus status)
{
    NetworkAction action = ReactToNetwork(client.nNetwork, now, client.link.fWantOnline != 0, status);
    if (now != NETWORK_UNKNOWN) client.nNetwork = now;
    return action;
}

uint32_t IntervalInForce(const Source* source)
{
    return PollInterval(client.config.nInterval_minute, source->poll.nRateShift);
}

uint32_t BackOff(Source* source, uint32_t nCap_sec)
{
    source->poll.nRetry_sec = NextRetryDelay(source->poll.nRetry_sec, nCap_sec);
    return source->poll.nRetry_sec;
}

void StartAfresh()
{
    for (int i = 0; i < client.nSources; ++i) {
        SourcePoll& poll = client.aSources[i].poll;
        poll.nRetry_sec = 0;
        poll.nUnanswered = 0;
        poll.nRateShift = 0;
        poll.qwLastPoll_ms = 0;
    }
    client.nNetwork = NETWORK_UNKNOWN;
}

void StartPolling(Source* source)
{
    source->poll.nRetry_sec = 0;
    source->poll.fPollNow = 1;
    // The k-th of n sources waits k/n of an interval longer after its first
    // poll: the first round comes at once, the later ones spread out.
    uint32_t k = (uint32_t)(source - client.aSources);
    source->poll.nPhaseNext_sec = (uint32_t)((uint64_t)IntervalInForce(source) * k / (uint32_t)client.nSources);
}

void CloseRequest(Source* source)
{
    source->poll.fAwaitingReply = 0;
}

void SlowDown(Source* source)
{
    ++source->poll.nRateShift;
    source->poll.nRetry_sec = 0;
    source->poll.fAwaitingReply = 0;
}

// Once, as soon as 15 s have passed: the backoff stays where it was, so
// that a server whose leaps keep disagreeing is asked ever less often.
void AskWitness(Source* source)
{
    PollAtOnce(source);
}

void PollAtOnce(Source* source)
{
    source->poll.fPollNow = 1;
}

void EndBackOff(Source* source)
{
    source->poll.nRetry_sec = 0;
    source->poll.nUnanswered = 0;
}
