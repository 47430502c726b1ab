// The one-second tick: first the automatic exit countdown, then the poll
// cycle that sends a request every nCheckTimer_minute minutes while online.
// Counted in delivered ticks, so corrections of the clock do not shift the
// intervals.
#pragma once

#include <stdint.h>

// A cycle count above any interval: the next tick polls.
const int32_t POLL_AT_ONCE = 9999999;

// For each tick of the main window's one-second timer. True once the exit
// countdown has run out, and on every tick after: time to close the window.
bool OnTimerTick();

// A resident program does not end by itself.
void CancelExitCountdown();

// Sends the client request to the server now and remembers its T1, so
// that only a reply to it is judged; logs a failed send.
void PollServer();
