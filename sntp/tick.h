// The one-second tick: first the connection-state probe, then the automatic
// exit countdown, then the client's schedule: a retry of the way online
// whose wait is over, or a poll that is due. Polls fall due by the time
// elapsed on a clock that counts sleep and never steps, so corrections of
// the clock do not shift them and a poll overdue after waking goes at once;
// none goes within 15 s of the last, except the first after the user's click.
#pragma once

#include <stdint.h>

#include "state/client_status.h"

// For each tick of the main window's one-second timer. True once the exit
// countdown has run out, and on every tick after: time to close the window.
bool OnTimerTick();

// A resident program does not end by itself.
void CancelExitCountdown();

// Woken from sleep, or the network back: an online client polls on the next
// tick, unless it polled within the last 15 s (both resume notices may come).
void PollSoon();

// Sends the client request to the server now, carrying a random transmit
// timestamp that only a reply to it echoes, and keeps the real T1 to itself;
// logs a failed send. Until a reply is
// accepted the poll counts as failed: the next comes after the backoff.
void PollServer();

// The connection-state probe, replaceable so that tests can play the
// network: whether this machine has a way to the server at the address
// (network order), or off itself while the address is not known (0).
extern NetworkState (*networkProbe)(uint32_t dwServerAddress);
