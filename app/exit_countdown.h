// Synchronise once and quit: unless the user keeps the program resident, it
// ends five seconds after a poll that succeeded, counting the seconds down
// in the log, or once it has wanted to be online for two minutes without a
// usable reply, whatever kept the reply away. A later success during the
// countdown starts it again. The exit code tells a script how the run went.
#pragma once

#include "sntp/client.h"

enum RunResult {
    RUN_SYNCHRONISED = 0,     // the clock was found right or set
    RUN_NOT_CORRECTED = 1,    // a correction was due, and the system refused it
    RUN_NO_REPLY = 2,         // no usable reply for two minutes
    RUN_ALREADY_RUNNING = 3,  // another instance runs: this start only said so
};

// How long a run that is not resident waits for a usable reply once it
// wants to be online (with the retries' 15, 30 and 60 s, four requests),
// and, when a request is out, how long the last has for its reply.
const uint64_t ONE_SHOT_WAIT_MS = 2 * 60 * 1000;
const uint64_t LAST_REPLY_WAIT_MS = 15 * 1000;

// For each tick, after the client's: true once the countdown has run out,
// and on every tick after: time to close the window.
bool CountDownToExit(const ClientReport& report);

// A resident program does not end by itself, nor waits to.
void CancelExitCountdown();

// The process's exit code: the result of the run whose countdown ran out;
// 0 when the program ended otherwise.
int ExitCodeOfRun();
