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

// What the replies found for the clock: written in client_read.cpp only.
struct ClientFindings {
    uint64_t nPollsSucceeded = 0;
    ReferenceState reference;
};

struct Client {
    ClientConfig config = {};  // written in client.cpp only
    ClientLink link;
    NetworkState nNetwork = NETWORK_UNKNOWN;  // the connection-state probe's last answer: client_poll.cpp only
    ClientFindings found;
    Source aSources[MAX_SOURCES];
    int nSources = MAX_SOURCES;
};

extern Client client;
