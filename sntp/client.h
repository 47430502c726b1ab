// The client, an engine behind this door: it keeps the clock in step with
// the SNTP servers that agree, or with one server. Its host (sntp/engine_host.h) hands it a configuration
// and events (the user's click, the lookups' completions, the socket's
// readiness, the one-second tick, a wake notice) and hears from it through
// the host's table: each reply judged, each change of its face. It never
// blocks and knows no window; what it found is read in one report.
//
// This header is the only way in. Its functions live in client.cpp (the
// configuration, the tick, the report), client_link.cpp (the start, the
// click, the lookups' completions, closing), client_read.cpp (a socket's
// readiness, a step of the clock) and client_poll.cpp (PollSoon, PollNow); the rest
// of sntp/'s client files are the engine's own.
#pragma once

#include <windows.h>
#include <winsock.h>
#include <stdint.h>

#include "sntp/client_config.h"
#include "sntp/client_status.h"
#include "sntp/judged_reply.h"
#include "timebase/ntp_time.h"

// The engine starts, or starts again, with this configuration: offline,
// nothing learnt; what an earlier run left open is closed without a line.
void StartClient(const ClientConfig& config);

// What the client is to do, after each change of a setting. A new server
// name counts from the next click.
void ConfigureClient(const ClientConfig& config);

// Command 40003, the user's click: while the client is on (online, or
// trying: a lookup pending, a retry waiting, the network gone, stopped by
// its servers), it stops everything and stays offline. Otherwise it goes
// online afresh with the configured server names or dotted addresses (up to
// four, sntp/server_list.h): every source polls at once and forgets RATE.
void ToggleOnline();

// Completions of the host and service lookups (task handle, error). Those
// of a cancelled or superseded lookup are ignored without a line.
void OnHostResolved(HANDLE hTask, int nError);
void OnServiceResolved(HANDLE hTask, int nError);

// For each readiness notice of the client socket: the socket and the event
// bits. Receives the server's reply, judges it, logs the
// judgement and corrects the clock when it says so.
void OnClientRead(SOCKET sock, WORD event);

// For each tick of the shell's one-second timer: the connection-state probe,
// then a retry of the way online whose wait is over, or a poll that is due.
void OnClientTick();

// Woken from sleep, or the network back: an online client polls on the next
// tick, unless it polled within the last 15 s (both resume notices may come).
void PollSoon();

// A script or the user asks for a poll now: every online source polls as
// soon as 15 s have passed since its last request.
void PollNow();

// Each change of the system clock the host is told of: when someone else stepped the clock by more than the
// tolerance, the clock is no longer known right (server mode falls silent
// until a reply checks it) and the server is asked as soon as 15 s have
// passed since the last request. The program's own corrections are not told.
void OnClockChanged();

// The program ends: the socket goes, without a line.
void CloseClientSocket();

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

// The client as the user sees it. Times in _ms are readings of the
// monotonic clock, which counts sleep.
struct ClientReport {
    ClientStatus nStatus;
    ClientFace nFace;
    TryCause nTryCause;            // while trying: why
    NtpTimestamp qwTryingSince;    // while trying: since when
    uint64_t qwTryingSince_ms;
    NtpTimestamp qwOnlineSince;    // when it last went online
    uint64_t qwOnlineSince_ms;
    NtpTimestamp qwLastJudged;     // the last verdict on the sources' replies: when its newest came (0: none yet)
    uint64_t qwLastJudged_ms;
    int64_t llLastOffset;          // and the offset it found, 32.32
    int32_t nAgreeing;             // the sources that verdict stood on (0: they disagreed)
    int32_t nSources;              // the sources asked: the server field's names and their further addresses
    uint32_t nInterval_sec;        // the poll interval in force, RATE kisses included
    uint64_t qwUncheckedLimit_ms;  // how long the clock may go unchecked before it counts as so
    uint64_t nPollsSucceeded;      // polls whose reply found the clock right or had it corrected (or tried)
    uint32_t nPollsUnanswered;     // requests since the last poll that succeeded, the one out included
    uint64_t qwLastPoll_ms;        // when the last request went out
    uint64_t qwNextAttempt_ms;     // while waiting to retry the way online: when
    sockaddr_in saServer;          // the server's address and port, as far as known
    ReferenceState reference;
};

ClientReport ReportClient();
