// The state that the program's parts share, grouped by the part that owns
// it, with each value's default written once, here. Everything is read and
// written on the user-interface thread only; flags count as set when non-zero.
#pragma once

#include <windows.h>
#include <winsock.h>
#include <stdint.h>

#include "state/client_status.h"
#include "timebase/ntp_time.h"

// The client: where it stands and what the user wants kept apart, its
// socket and server, when it polls and tries again, and the automatic exit.
// Times in _ms are readings of the monotonic clock, which counts sleep.
struct ClientState {
    ClientStatus nStatus = CLIENT_OFFLINE;
    int32_t fWantOnline = 0;        // the user's wish: the start-up setting, then the user's own clicks
    char szServerName[256] = {};    // the name or dotted address the way online uses
    sockaddr_in saServer = {};
    SOCKET sockClient = INVALID_SOCKET;
    uint64_t qwNextAttempt_ms = 0;  // waiting: when the way online is tried again
    uint32_t nRetry_sec = 0;        // the wait after a failure; 0 once a reply was accepted
    uint64_t qwLastPoll_ms = 0;     // when the last request went out (0 after the user's click)
    int32_t fPollNow = 0;           // a tick polls as soon as it may: just online, or woken from sleep
    int32_t nRateShift = 0;         // RATE kisses since the user's click: the interval doubled so often
    NetworkState nNetwork = NETWORK_UNKNOWN;  // the connection-state probe's last answer
    int32_t fAwaitingReply = 0;        // a request is out and no reply to it was judged yet
    NtpTimestamp qwRequestTime = 0;    // when it went out: T1, kept here only
    uint64_t qwRequestCookie = 0;      // the random transmit timestamp it carried, which a reply must echo
    int32_t fExitCountdown = 0;
    int32_t nExitCount = 0;
    NtpTimestamp qwLastJudged = 0;  // when the last reply with an accepted delay came (0: none yet)
    uint64_t qwLastJudged_ms = 0;   // the same on the monotonic clock
    int64_t llLastOffset = 0;       // and the offset it found, 32.32
    NtpTimestamp qwOnlineSince = 0; // when it last went online
    uint64_t qwOnlineSince_ms = 0;
};

// What the client learnt from its server, which server mode passes on.
struct ReferenceState {
    int32_t fSynchronized = 0;         // the clock is known right: a reply's offset was within tolerance or set
    NtpTimestamp qwReferenceTime = 0;  // when the last accepted reply came, or the time it set the clock to
    uint64_t qwSynchronized_ms = 0;    // the same moment on the monotonic clock, which counts sleep
    uint32_t dwReferenceId = 0;        // low 32 bits of the last valid reply's transmit timestamp
    int32_t nUpstreamStratum = 1;      // that reply's stratum; a primary server's until one came
    uint64_t qwRootDelay = 0;          // 32.32: the server's root delay plus the loop delay, at that reply
    uint64_t qwRootDispersion = 0;     // 32.32: the server's root dispersion, at that reply
};

extern ClientState client;
extern ReferenceState reference;
