#include <gtest/gtest.h>

#include <set>

#include "sntp/lookups.h"
#include "timebase/clock.h"

namespace {

uint64_t qwTicks_ms = 1000000;

ULONGLONG WINAPI FakeTickCount64()
{
    return qwTicks_ms;
}

Lookup* Start(uintptr_t task)
{
    Lookup* lookup = TakeLookup();
    if (lookup != NULL) lookup->hTask = (HANDLE)task;
    return lookup;
}

TEST(Lookups, ABufferIsGivenAgainOnlyOnceItsLookupCanWriteNoMore)
{
    clockCalls.GetTickCount64 = FakeTickCount64;
    Lookup* cancelled = Start(1);
    ASSERT_NE(cancelled, nullptr);
    CancelLookup(cancelled);
    std::set<Lookup*> taken = {cancelled};
    for (uintptr_t task = 2; task <= LOOKUP_BUFFERS; ++task) EXPECT_TRUE(taken.insert(Start(task)).second) << task;

    // Every buffer taken: the cancelled lookup may still complete for a
    // while (Wine's cancel stops nothing); after five minutes it cannot.
    qwTicks_ms += 5 * 60 * 1000 - 1;
    EXPECT_EQ(Start(100), nullptr);
    qwTicks_ms += 1;
    EXPECT_EQ(Start(100), cancelled);
    EXPECT_EQ(Start(101), nullptr);  // no other lookup was cancelled
    Lookup* finished = FinishLookup((HANDLE)7);
    ASSERT_NE(finished, nullptr);
    EXPECT_EQ(FinishLookup((HANDLE)7), nullptr);  // its completion comes once
    EXPECT_EQ(FinishLookup((HANDLE)1), nullptr);  // the task whose buffer went to another
    EXPECT_EQ(Start(102), finished);

    for (uintptr_t task : {100, 102}) FinishLookup((HANDLE)task);
    for (uintptr_t task = 2; task <= LOOKUP_BUFFERS; ++task) FinishLookup((HANDLE)task);
    clockCalls.GetTickCount64 = realClockCalls.GetTickCount64;
}

}  // namespace
