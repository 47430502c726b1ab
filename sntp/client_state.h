// The client's own record, read only by the client's files in sntp/: what
// it was told, the client as a whole, and its sources (sntp/source.h). Each
// part has one writer, the file named above it, which the others ask
// through its verbs. Everything is read and written on the user-interface
// thread only; flags count as set when non-zero. Times in _ms are readings
// of the monotonic clock, which counts sleep.
#pragma once

#include <stdint.h>

#include "sntp/client.h"
#include "sntp/source.h"
#include "timebase/ntp_time.h"

// What the user wants and sees: written in client_link.cpp only.
struct ClientLink {
    int32_t fWantOnline = 0;         // the user's wish: the start-up setting, then the user's own clicks
    NtpTimestamp qwOnlineSince = 0;  // when it last went online
    uint64_t qwOnlineSince_ms = 0;
    ClientFace nFace = FACE_OFFLINE;  // as the host was last told
    TryCause nTryCause = TRY_CONNECTING;
    NtpTimestamp qwTryingSince = 0;  // when its face last became trying
    uint64_t qwTryingSince_ms = 0;
};

// The clock's verdicts: written in client_verdict.cpp only (the
// reference's fSynchronized by client_read.cpp too, when someone else
// steps the clock).
struct ClientFindings {
    uint64_t nPollsSucceeded = 0;
    ReferenceState reference;
    int32_t fVerdictDue = 0;          // a new sample waits to be weighed
    uint64_t qwVerdictDue_ms = 0;     // since when
    NtpTimestamp qwLastJudged = 0;    // the last verdict: when its newest reply came (0: none yet)
    uint64_t qwLastJudged_ms = 0;
    int64_t llLastOffset = 0;         // and the offset it found, 32.32
    int nAgreeing = 0;                // how many sources it stood on (0: they disagreed)
    int iChosen = 0;                  // the source whose server it passes on
};

struct Client {
    ClientConfig config = {};  // written in client.cpp only
    ClientLink link;
    NetworkState nNetwork = NETWORK_UNKNOWN;  // the connection-state probe's last answer: client_poll.cpp only
    ClientFindings found;
    Source aSources[MAX_SOURCES];
    int nSources = 1;  // the first is there even offline, for the report
};

extern Client client;
