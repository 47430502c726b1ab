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

enum { MAX_SOURCES = 1 };

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
};

// What its replies found: written in client_read.cpp only.
struct SourceFindings {
    NtpTimestamp qwLastJudged = 0;   // when the last reply with an accepted delay came (0: none yet)
    uint64_t qwLastJudged_ms = 0;
    int64_t llLastOffset = 0;        // and the offset it found, 32.32
    LeapWitness leapWitness = {};    // a leap asked for, waiting for the next reply to agree
    RequestLines strayLines = {};    // datagrams that answer no request: how many were told this second
};

// The keys and cookies of an authenticated source: none is yet.
struct SourceAuth {
};

struct Source {
    SourceLink link;
    SourcePoll poll;
    SourceFindings found;
    SourceAuth auth;
};
