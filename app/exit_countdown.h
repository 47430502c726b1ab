// Synchronise once and quit: unless the user keeps the program resident,
// it ends five seconds after a poll that succeeded, counting the seconds
// down in the log. A later success during the countdown starts it again.
#pragma once

#include "sntp/client.h"

// For each tick, after the client's: true once the countdown has run out,
// and on every tick after: time to close the window.
bool CountDownToExit(const ClientReport& report);

// A resident program does not end by itself.
void CancelExitCountdown();
