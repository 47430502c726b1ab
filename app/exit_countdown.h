// Synchronise once and quit: unless the user keeps the program resident, it
// ends five seconds after a poll that succeeded, counting the seconds down
// in the log, or after four requests that got no usable reply. A later
// success during the countdown starts it again. The exit code tells a
// script how the run went.
#pragma once

#include "sntp/client.h"

enum RunResult {
    RUN_SYNCHRONISED = 0,  // the clock was found right or set
    RUN_NOT_CORRECTED = 1,  // a correction was due, and the system refused it
    RUN_NO_REPLY = 2,       // four requests in a row got no usable reply
};

// How many unanswered requests end a run that is not resident, once the
// last has had this long for its reply (with the retries' 15, 30 and 60 s
// between them, about two minutes after the first).
const uint32_t MAX_UNANSWERED_POLLS = 4;
const uint64_t LAST_REPLY_WAIT_MS = 15 * 1000;

// For each tick, after the client's: true once the countdown has run out,
// and on every tick after: time to close the window.
bool CountDownToExit(const ClientReport& report);

// A resident program does not end by itself.
void CancelExitCountdown();

// The process's exit code: the result of the run whose countdown ran out;
// 0 when the program ended otherwise.
int ExitCodeOfRun();
