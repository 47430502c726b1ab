// When the client asks its server and when it tries again, pure: the
// backoff after failures, the poll interval as the server's RATE kisses
// stretch it, and what a change of the machine's connection asks of the
// client. Times are milliseconds of a clock that counts sleep and never steps.
#pragma once

#include <stdint.h>

#include "sntp/client_status.h"

// RFC 4330 section 10: never ask a server more often than this.
const uint32_t MIN_RETRY_SEC = 15;
// A failed lookup is tried again at least this often.
const uint32_t MAX_LOOKUP_RETRY_SEC = 15 * 60;

// The wait before the next attempt after one more failure, given the wait
// before (0 when nothing failed): 15 s, then doubling, at most nCap_sec, and
// never below 15 s.
uint32_t NextRetryDelay(uint32_t nLast_sec, uint32_t nCap_sec);

// The poll interval in seconds: nCheckTimer_minute minutes, doubled for each
// RATE kiss since the user last went online, at most 2^17 s (RFC 5905's
// longest poll).
uint32_t PollInterval(int32_t nCheckTimer_minute, int32_t nRateShift);

// Whether a poll is due at qwNow_ms when the last went out at qwLast_ms: an
// interval after it, or nRetry_sec after it when it got no accepted reply
// (nRetry_sec not 0), whichever is sooner.
bool PollDue(uint64_t qwNow_ms, uint64_t qwLast_ms, uint32_t nInterval_sec, uint32_t nRetry_sec);

// How long the clock may go without a reply that found it right before it
// counts as unchecked (the tray warns, server mode falls silent): three
// poll intervals, at least an hour.
uint64_t UncheckedLimit_ms(uint32_t nInterval_sec);

// Whether to send a request at qwNow_ms: one is asked for at once (fAsked:
// just online, woken, the network back) or a poll is due, and 15 s have
// passed since the last went out, however often the network comes and goes.
bool TimeToPoll(uint64_t qwNow_ms, uint64_t qwLast_ms, bool fAsked, uint32_t nInterval_sec, uint32_t nRetry_sec);

enum NetworkAction {
    NETWORK_NOTHING,
    NETWORK_GO_OFFLINE,  // the user's wish is kept
    NETWORK_GO_ONLINE,
    NETWORK_POLL_NOW,
};

// What the probe's answer asks of the client, given its answer before. Only
// a change acts, and the first answer is the baseline, not a change. A lost
// network takes an active client offline; its return brings back only a
// client the user wants online.
NetworkAction ReactToNetwork(NetworkState last, NetworkState now, bool fWantOnline, ClientStatus status);
