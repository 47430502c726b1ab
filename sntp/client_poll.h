// When the client asks its server: the one-second tick with the
// connection-state probe, the poll schedule and the request out. Polls fall
// due by the time elapsed on a clock that counts sleep and never steps, so
// corrections of the clock do not shift them and a poll overdue after
// waking goes at once; none goes within 15 s of the last, except the first
// after the user's click. The only writer of the schedule: the client's
// other files move it through these verbs.
#pragma once

#include <stdint.h>

#include "sntp/client_status.h"

// Sends the client request to the server now, carrying a random transmit
// timestamp that only a reply to it echoes, and keeps the real T1 to itself;
// logs a failed send. Until a reply is accepted the poll counts as failed:
// the next comes after the backoff.
void PollServer();

// The poll interval in force: the setting's, doubled for each RATE kiss.
uint32_t IntervalInForce();

// One more failure, of a poll or of the way online: the wait before the
// next attempt, 15 s and then doubling, at most nCap_sec.
uint32_t BackOff(uint32_t nCap_sec);

// The user's click: no backoff, no RATE, no waiting for 15 s since the last
// request, and the probe's next answer is a new baseline.
void StartAfresh();

// Online: the first poll goes as soon as 15 s have passed since the last.
void StartPolling();

// No reply to the request out counts any more: one was judged, or the
// client went offline.
void CloseRequest();

// The server's RATE kiss: the interval doubles for the rest of the run.
void SlowDown();

// A leap waits for its witness: asked for 15 s later.
void AskWitness();

// A poll succeeded: the backoff is over.
void EndBackOff();

// The connection-state probe, replaceable so that tests can play the
// network: whether this machine has a way to the server at the address
// (network order), or off itself while the address is not known (0).
extern NetworkState (*networkProbe)(uint32_t dwServerAddress);
