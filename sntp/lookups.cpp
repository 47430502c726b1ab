#include "sntp/lookups.h"

#include "timebase/clock.h"

namespace {

const uint64_t kLongestLookup_ms = 5 * 60 * 1000;

Lookup aLookups[LOOKUP_BUFFERS];
uint32_t nStarts = 0;

}  // namespace

Lookup* TakeLookup()
{
    Lookup* chosen = NULL;
    const uint64_t now = MonotonicMs();
    for (Lookup& lookup : aLookups) {
        if (lookup.hTask == 0) {
            chosen = &lookup;
            break;
        }
        bool fDone = lookup.fCancelled && now - lookup.qwCancelled_ms >= kLongestLookup_ms;
        if (fDone && (chosen == NULL || lookup.nStarted < chosen->nStarted)) {
            chosen = &lookup;
        }
    }
    if (chosen == NULL) return NULL;
    chosen->hTask = 0;
    chosen->fCancelled = false;
    chosen->nStarted = ++nStarts;
    return chosen;
}

Lookup* FinishLookup(HANDLE hTask)
{
    if (hTask == 0) return NULL;
    for (Lookup& lookup : aLookups) {
        if (lookup.hTask != hTask) continue;
        lookup.hTask = 0;
        return &lookup;
    }
    return NULL;
}

void CancelLookup(Lookup* lookup)
{
    WSACancelAsyncRequest(lookup->hTask);
    lookup->fCancelled = true;
    lookup->qwCancelled_ms = MonotonicMs();
}
