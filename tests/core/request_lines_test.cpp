#include <gtest/gtest.h>

#include "sntp/request_lines.h"

namespace {

// A moment of server mode: a datagram arriving, or a tick.
struct Moment {
    uint64_t now_ms;
    bool datagram;
    uint32_t summedUp;  // the count of the line that sums up, 0 for none
    bool full;          // a datagram's lines written in full
};

TEST(RequestLines, AFewASecondInFullBeyondThatOneLineASecond)
{
    const Moment moments[] = {
        {1000, true, 0, true},     {1100, true, 0, true},     {1200, true, 0, false},
        {1300, true, 0, false},    {1999, false, 0, false},   {2000, false, 2, false},  // the second is over
        {2100, true, 0, false},    {2200, true, 0, false},                               // the flood goes on
        {3199, true, 2, false},    {4199, false, 1, false},                              // still counted
        {5199, false, 0, false},   {5300, true, 0, true},     {5400, true, 0, true},     // quiet again
        {5500, true, 0, false},    {9000, true, 1, true},     // a late datagram sums up the last second first
    };
    RequestLines lines = {};
    for (const Moment& m : moments) {
        EXPECT_EQ(TakeCountedRequests(&lines, m.now_ms), m.summedUp) << m.now_ms;
        if (m.datagram) {
            EXPECT_EQ(FullLinesDue(&lines), m.full) << m.now_ms;
            CountRequest(&lines, FullLinesDue(&lines));
        }
    }
}

}  // namespace
