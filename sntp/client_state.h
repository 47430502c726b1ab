// The client's own record, read only by the client's files in sntp/ (and
// their tests); the rest of the program reads the report. Each part has one
// writer, the file named above it, which the others ask through its verbs.
// Everything is read and written on the user-interface thread only; flags
// count as set when non-zero. Times in _ms are readings of the monotonic
// clock, which counts sleep.
#pragma once

#include <windows.h>
#include <winsock.h>
#include <stdint.h>

#include "sntp/client.h"
#include "sntp/reply_history.h"
#include "timebase/ntp_time.h"

// The way online: written in client_link.cpp only.
struct ClientLink {
    ClientStatus nStatus = CLIENT_OFFLINE;
    int32_t fWantOnline = 0;         // the user's wish: the start-up setting, then the user's own clicks
    char szServerName[SERVER_NAME_SIZE] = {};  // the name or dotted address the way online uses
    sockaddr_in saServer = {};
    SOCKET sockClient = INVALID_SOCKET;
    uint64_t qwNextAttempt_ms = 0;   // waiting: when the way online is tried again
    NtpTimestamp qwOnlineSince = 0;  // when it last went online
    uint64_t qwOnlineSince_ms = 0;
    int32_t fStoppedByServer = 0;    // a kiss-o'-death stopped it: the user's next click ends the trying
    ClientFace nFace = FACE_OFFLINE;  // as the shell was last told
    TryCause nTryCause = TRY_CONNECTING;
    NtpTimestamp qwTryingSince = 0;  // when its face last became trying
    uint64_t qwTryingSince_ms = 0;
};

// When it asks, and the request out: written in client_poll.cpp only.
struct ClientPoll {
    uint32_t nRetry_sec = 0;         // the wait after a failure; 0 once a reply was accepted
    uint64_t qwLastPoll_ms = 0;      // when the last request went out (0 after the user's click)
    uint32_t nUnanswered = 0;        // requests since the last poll that succeeded, the one out included
    int32_t fPollNow = 0;            // a tick polls as soon as it may: just online, or woken from sleep
    int32_t nRateShift = 0;          // RATE kisses since the user's click: the interval doubled so often
    NetworkState nNetwork = NETWORK_UNKNOWN;  // the connection-state probe's last answer
    int32_t fAwaitingReply = 0;      // a request is out and no reply to it was judged yet
    NtpTimestamp qwRequestTime = 0;  // when it went out: T1, kept here only
    uint64_t qwRequestCookie = 0;    // the random transmit timestamp it carried, which a reply must echo
};

// What the replies found: written in client_read.cpp only.
struct ClientFindings {
    NtpTimestamp qwLastJudged = 0;   // when the last reply with an accepted delay came (0: none yet)
    uint64_t qwLastJudged_ms = 0;    // the same on the monotonic clock
    int64_t llLastOffset = 0;        // and the offset it found, 32.32
    uint64_t nPollsSucceeded = 0;
    ReferenceState reference;
    ReplyHistory history;
};

// What the client was told to do: written in client.cpp only.
extern ClientConfig clientConfig;
extern ClientLink clientLink;
extern ClientPoll clientPoll;
extern ClientFindings clientFindings;
