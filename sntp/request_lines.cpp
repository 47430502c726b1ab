#include "sntp/request_lines.h"

uint32_t TakeCountedRequests(RequestLines* lines, uint64_t qwNow_ms)
{
    if (qwNow_ms - lines->qwSecondStart_ms < 1000) return 0;
    uint32_t nCounted = lines->nCounted;
    // A flood goes on while a second with counted datagrams is followed
    // straight by another; a quiet second in between ends it.
    lines->fFlooded = nCounted > 0 && qwNow_ms - lines->qwSecondStart_ms < 2000;
    lines->qwSecondStart_ms = qwNow_ms;
    lines->nLogged = 0;
    lines->nCounted = 0;
    return nCounted;
}

bool FullLinesDue(const RequestLines* lines)
{
    return !lines->fFlooded && lines->nLogged < REQUESTS_LOGGED_PER_SECOND;
}

void CountRequest(RequestLines* lines, bool fFull)
{
    if (fFull) {
        ++lines->nLogged;
    } else {
        ++lines->nCounted;
    }
}
