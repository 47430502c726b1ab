// When the client asks each source's server: the poll schedule and the
// request out, and the connection-state probe's last answer. Polls fall
// due by the time elapsed on a clock that counts sleep and never steps, so
// corrections of the clock do not shift them and a poll overdue after
// waking goes at once; none goes within 15 s of the last, except the first
// after the user's click. The only writer of the schedule: the client's
// other files move it through these verbs.
#pragma once

#include <stdint.h>

#include "sntp/client_status.h"
#include "sntp/schedule.h"
#include "sntp/source.h"

// Sends the client request to the server now, carrying a random transmit
// timestamp that only a reply to it echoes, and keeps the real T1 to itself;
// logs a failed send. Until a reply is accepted the poll counts as failed:
// the next comes after the backoff.
void PollServer(Source* source);

// The poll interval in force: the setting's, doubled for each RATE kiss of
// the source's server.
uint32_t IntervalInForce(const Source* source);

// One more failure, of a poll or of the way online: the wait before the
// next attempt, 15 s and then doubling, at most nCap_sec.
uint32_t BackOff(Source* source, uint32_t nCap_sec);

// The user's click: for every source no backoff, no RATE, no waiting for
// 15 s since the last request, and the probe's next answer is a new baseline.
void StartAfresh();

// Online: the first poll goes as soon as 15 s have passed since the last;
// the wait after it is longer by the source's share of the interval, so
// that the sources' polls spread over it.
void StartPolling(Source* source);

// No reply to the request out counts any more: one was judged, or the
// client went offline.
void CloseRequest(Source* source);

// The server's RATE kiss: the source's interval doubles for the rest of the run.
void SlowDown(Source* source);

// A leap waits for its witness: asked for 15 s later.
void AskWitness(Source* source);

// Ask at once, as soon as 15 s have passed since the last request.
void PollAtOnce(Source* source);

// A poll succeeded: the backoff is over.
void EndBackOff(Source* source);

// Whether to send a request now (the door's tick asks while online).
bool PollIsDue(const Source* source, uint64_t qwNow_ms);

// The connection-state probe's answer, where the client stands: what it
// asks of the client. The first answer is the baseline, not a change, and so
// is the first after the user's click.
NetworkAction HearNetwork(NetworkState now, ClientStatus status);
