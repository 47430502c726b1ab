// One source: everything the client keeps about one server it asks, each
// part written by the one file named above it. Every function of the
// client that works on a server takes the source it works on; the client
// keeps its sources in a list of MAX_SOURCES. On the user-interface thread
// only; times in _ms are readings of the monotonic clock, which counts sleep.
#pragma once

#include <windows.h>
#include <winsock.h>
#include <stdint.h>

#include "sntp/client_config.h"
#include "sntp/client_status.h"
#include "sntp/evaluate.h"
#include "sntp/lookups.h"
#include "sntp/request_lines.h"
#include "timebase/ntp_time.h"

// Up to four addresses a name, eight sources in all.
enum { MAX_SOURCES = 8, MAX_ADDRESSES_A_NAME = 4 };

// The way to the server: written in client_link.cpp only.
struct SourceLink {
    ClientStatus nStatus = CLIENT_OFFLINE;
    char szName[SERVER_NAME_SIZE] = {};  // the name or dotted address the way online uses
    sockaddr_in saServer = {};
    SOCKET sock = INVALID_SOCKET;
    Lookup* pHostLookup = NULL;          // the pending lookups; NULL when none is
    Lookup* pServLookup = NULL;
    uint64_t qwNextAttempt_ms = 0;       // waiting: when the way online is tried again
    int32_t fStoppedByServer = 0;        // a kiss-o'-death stopped it: the user's next click ends the trying
    int32_t fSibling = 0;                // a further address of an earlier source's name: never looked up itself
};

// When it is asked, and the request out: written in client_poll.cpp only.
struct SourcePoll {
    uint32_t nRetry_sec = 0;         // the wait after a failure; 0 once a reply was accepted
    uint64_t qwLastPoll_ms = 0;      // when the last request went out (0 after the user's click)
    uint32_t nUnanswered = 0;        // requests since the last poll that succeeded, the one out included
    int32_t fPollNow = 0;            // a tick polls as soon as it may: just online, or woken from sleep
    int32_t nRateShift = 0;          // RATE kisses since the user's click: the interval doubled so often
    int32_t fAwaitingReply = 0;      // a request is out and no reply to it was judged yet
    NtpTimestamp qwRequestTime = 0;  // when it went out: T1, kept here only
    uint64_t qwRequestCookie = 0;    // the random transmit timestamp it carried, which a reply must echo
    uint32_t nPhase_sec = 0;         // added once to the wait after a poll, so that the sources spread out
    uint32_t nPhaseNext_sec = 0;     // for the wait after the next poll
};

// Datagrams that answer no request: written in client_read.cpp only.
struct SourceFindings {
    RequestLines strayLines = {};    // how many were told this second
};

// Its last poll's reply, as the clock's verdict weighs it: written in
// client_verdict.cpp only.
struct SourceSample {
    int32_t fHeld = 0;               // the last poll's reply had an accepted delay: the fields below are it
    int32_t fNew = 0;                // and no verdict has weighed it yet
    NtpTimestamp qwArrival = 0;
    int64_t llOffset = 0;            // 32.32, as from the clock now: each later step is taken off
    uint64_t qwLoopDelay = 0;
    uint64_t qwRootDelay = 0;        // the server's root delay plus the loop delay
    uint64_t qwRootDispersion = 0;
    uint32_t dwReferenceId = 0;      // low 32 bits of its T3
    int32_t nStratum = 0;
    int32_t fOutsider = 0;           // the last verdict found it disagreeing, and said so
    LeapWitness leapWitness = {};    // alone: a leap asked for, waiting for the next reply to agree
};

// The keys and cookies of an authenticated source: none is yet.
struct SourceAuth {
};

struct Source {
    SourceLink link;
    SourcePoll poll;
    SourceFindings found;
    SourceSample sample;
    SourceAuth auth;
};
