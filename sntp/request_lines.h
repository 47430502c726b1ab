// How much of the traffic that nobody here asked for the log tells (server
// mode's requests, datagrams on the client's socket that answer no request):
// at a rate a person can read, the lines of every datagram; beyond it, the
// datagrams of each second are counted and summed up in one line, so that a
// flood costs the log about a line a second and the client's lines stay.
// Pure: times are readings of the monotonic clock in milliseconds.
#pragma once

#include <stdint.h>

enum { REQUESTS_LOGGED_PER_SECOND = 2 };

struct RequestLines {
    uint64_t qwSecondStart_ms;  // when the current second began
    int nLogged;                // datagrams of this second logged in full
    uint32_t nCounted;          // datagrams counted, not logged, since the last summary
    int fFlooded;               // the last second was summed up: until a quiet one, count them all
};

// At each batch of datagrams and each tick: once a second is over, the number of its
// datagrams that were counted, for the one line that sums them up (0: none,
// or the second is still on); a new second then begins.
uint32_t TakeCountedRequests(RequestLines* lines, uint64_t qwNow_ms);

// After TakeCountedRequests: whether the next datagram's lines are written
// in full (asked before it is read, as the full lines need more of the read).
bool FullLinesDue(const RequestLines* lines);

// For each datagram read: counts it as logged in full or only counted.
void CountRequest(RequestLines* lines, bool fFull);
