#include <gtest/gtest.h>

#include "sntp/schedule.h"

namespace {

TEST(Schedule, RetriesBackOffFromFifteenSecondsToTheirCap)
{
    const struct {
        uint32_t last, cap, next;
    } rows[] = {
        {0, 600, 15}, {15, 600, 30}, {240, 600, 480}, {480, 600, 600}, {600, 600, 600},
        {0, 900, 15}, {480, 900, 900},     // lookups: at most 15 minutes
        {15, 10, 15}, {0, 0, 15},          // never more often than every 15 s
        {0x80000000u, 0xFFFFFFFFu, 0xFFFFFFFFu},  // no overflow past the cap
    };
    for (const auto& row : rows) EXPECT_EQ(NextRetryDelay(row.last, row.cap), row.next) << row.last << " " << row.cap;
}

TEST(Schedule, PollsFallDueByElapsedTimeAndRateStretchesTheInterval)
{
    EXPECT_EQ(PollInterval(10, 0), 600u);
    EXPECT_EQ(PollInterval(10, 1), 1200u);
    EXPECT_EQ(PollInterval(999, 1), 119880u);
    EXPECT_EQ(PollInterval(999, 2), 131072u);  // 2^17 s at most
    EXPECT_EQ(PollInterval(1, 40), 131072u);
    // The clock counts as unchecked after three intervals, an hour at least.
    EXPECT_EQ(UncheckedLimit_ms(600), 3600000u);
    EXPECT_EQ(UncheckedLimit_ms(1201), 3603000u);
    EXPECT_EQ(UncheckedLimit_ms(131072), 393216000u);

    const uint64_t t = 1000000;
    const struct {
        uint64_t now;
        uint32_t interval, retry;
        bool due;
    } rows[] = {
        {t + 599999, 600, 0, false}, {t + 600000, 600, 0, true},
        {t + 14999, 600, 15, false}, {t + 15000, 600, 15, true},
        {t + 59999, 60, 120, false}, {t + 60000, 60, 120, true},  // a retry never waits past the interval
        {t + 3 * 3600000ull, 600, 0, true},                       // overdue after a night's sleep
    };
    for (const auto& row : rows) EXPECT_EQ(PollDue(row.now, t, row.interval, row.retry), row.due) << row.now - t;
}

TEST(Schedule, NoRequestGoesWithinFifteenSecondsOfTheLast)
{
    const uint64_t t = 1000000;
    const struct {
        uint64_t now, last;
        bool asked;
        uint32_t interval, retry;
        bool poll;
    } rows[] = {
        {t + 1000, t, true, 600, 0, false},  // online again, woken or the network back, just after a request
        {t + 14999, t, true, 600, 15, false},
        {t + 15000, t, true, 600, 15, true},
        {t + 14999, t, false, 60, 10, false},  // due, but too soon
        {t + 15000, t, false, 60, 10, true},
        {t + 599999, t, false, 600, 0, false},  // neither asked nor due
        {t + 600000, t, false, 600, 0, true},
        {t, 0, true, 600, 0, true},  // after the user's click
    };
    for (const auto& row : rows) {
        EXPECT_EQ(TimeToPoll(row.now, row.last, row.asked, row.interval, row.retry), row.poll)
            << row.now - row.last << " " << row.asked;
    }
}

TEST(Schedule, OnlyAChangeOfTheNetworkActs)
{
    const NetworkState U = NETWORK_UNKNOWN, D = NETWORK_DOWN, P = NETWORK_UP;
    const struct {
        NetworkState last, now;
        bool want;
        ClientStatus status;
        NetworkAction action;
    } rows[] = {
        {U, P, true, CLIENT_OFFLINE, NETWORK_NOTHING},  // the first answer is the baseline
        {U, D, true, CLIENT_ONLINE, NETWORK_NOTHING},
        {P, U, true, CLIENT_ONLINE, NETWORK_NOTHING},  // no answer is no change
        {P, P, true, CLIENT_OFFLINE, NETWORK_NOTHING},
        {P, D, true, CLIENT_ONLINE, NETWORK_GO_OFFLINE},
        {P, D, true, CLIENT_WAITING, NETWORK_GO_OFFLINE},
        {P, D, true, CLIENT_RESOLVING, NETWORK_GO_OFFLINE},
        {P, D, false, CLIENT_OFFLINE, NETWORK_NOTHING},
        {D, P, true, CLIENT_OFFLINE, NETWORK_GO_ONLINE},
        {D, P, true, CLIENT_WAITING, NETWORK_GO_ONLINE},
        {D, P, true, CLIENT_ONLINE, NETWORK_POLL_NOW},
        {D, P, true, CLIENT_RESOLVING, NETWORK_NOTHING},
        {D, P, false, CLIENT_OFFLINE, NETWORK_NOTHING},  // the user chose offline
    };
    for (const auto& row : rows) {
        EXPECT_EQ(ReactToNetwork(row.last, row.now, row.want, row.status), row.action)
            << row.last << " " << row.now << " " << row.want << " " << row.status;
    }
}

}  // namespace
