#include "sntp/schedule.h"

namespace {

const uint64_t kLongestPoll_sec = 1u << 17;

}  // namespace

uint32_t NextRetryDelay(uint32_t nLast_sec, uint32_t nCap_sec)
{
    uint64_t next = nLast_sec == 0 ? MIN_RETRY_SEC : (uint64_t)nLast_sec * 2;
    if (next > nCap_sec) next = nCap_sec;
    return next < MIN_RETRY_SEC ? MIN_RETRY_SEC : (uint32_t)next;
}

uint32_t PollInterval(int32_t nCheckTimer_minute, int32_t nRateShift)
{
    if (nRateShift > 17) nRateShift = 17;
    uint64_t interval = (uint64_t)nCheckTimer_minute * 60 << nRateShift;
    return interval > kLongestPoll_sec ? (uint32_t)kLongestPoll_sec : (uint32_t)interval;
}

bool PollDue(uint64_t qwNow_ms, uint64_t qwLast_ms, uint32_t nInterval_sec, uint32_t nRetry_sec)
{
    uint32_t wait = nRetry_sec != 0 && nRetry_sec < nInterval_sec ? nRetry_sec : nInterval_sec;
    return qwNow_ms - qwLast_ms >= (uint64_t)wait * 1000;
}

uint64_t UncheckedLimit_ms(uint32_t nInterval_sec)
{
    uint64_t qwLimit_ms = (uint64_t)nInterval_sec * 3 * 1000;
    return qwLimit_ms < 3600 * 1000 ? 3600 * 1000 : qwLimit_ms;
}

bool TimeToPoll(uint64_t qwNow_ms, uint64_t qwLast_ms, bool fAsked, uint32_t nInterval_sec, uint32_t nRetry_sec)
{
    if (qwNow_ms - qwLast_ms < (uint64_t)MIN_RETRY_SEC * 1000) return false;
    return fAsked || PollDue(qwNow_ms, qwLast_ms, nInterval_sec, nRetry_sec);
}

NetworkAction ReactToNetwork(NetworkState last, NetworkState now, bool fWantOnline, ClientStatus status)
{
    if (last == NETWORK_UNKNOWN || now == NETWORK_UNKNOWN || now == last) return NETWORK_NOTHING;
    if (now == NETWORK_DOWN) return status == CLIENT_OFFLINE ? NETWORK_NOTHING : NETWORK_GO_OFFLINE;
    if (!fWantOnline || status == CLIENT_RESOLVING) return NETWORK_NOTHING;
    return status == CLIENT_ONLINE ? NETWORK_POLL_NOW : NETWORK_GO_ONLINE;
}
