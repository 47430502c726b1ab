#include <gtest/gtest.h>

#include <set>

#include "sntp/lookups.h"
#include "support/frozen_clock.h"

namespace {

Lookup* Start(uintptr_t task)
{
    Lookup* lookup = TakeLookup();
    if (lookup != NULL) lookup->hTask = (HANDLE)task;
    return lookup;
}

TEST(Lookups, ABufferIsGivenAgainOnlyOnceItsLookupCanWriteNoMore)
{
    HoldMonotonicClock();
    Lookup* cancelled = Start(1);
    ASSERT_NE(cancelled, nullptr);
    CancelLookup(cancelled);
    std::set<Lookup*> taken = {cancelled};
    for (uintptr_t task = 2; task <= LOOKUP_BUFFERS; ++task) EXPECT_TRUE(taken.insert(Start(task)).second) << task;

    // Every buffer taken: the cancelled lookup may still complete for a
    // while (Wine's cancel stops nothing); after five minutes it cannot.
    qwMonotonic_ms += 5 * 60 * 1000 - 1;
    EXPECT_EQ(Start(100), nullptr);
    qwMonotonic_ms += 1;
    EXPECT_EQ(Start(100), cancelled);
    EXPECT_EQ(Start(101), nullptr);  // no other lookup was cancelled
    Lookup* finished = FinishLookup((HANDLE)7);
    ASSERT_NE(finished, nullptr);
    EXPECT_EQ(FinishLookup((HANDLE)7), nullptr);  // its completion comes once
    EXPECT_EQ(FinishLookup((HANDLE)1), nullptr);  // the task whose buffer went to another
    EXPECT_EQ(Start(102), finished);

    for (uintptr_t task : {100, 102}) FinishLookup((HANDLE)task);
    for (uintptr_t task = 2; task <= LOOKUP_BUFFERS; ++task) FinishLookup((HANDLE)task);
    ReleaseMonotonicClock();
}

}  // namespace
