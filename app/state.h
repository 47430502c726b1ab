// The program state that several subsystems share, in one place. Everything
// here is read and written on the user-interface thread only. Flags count as
// set when non-zero.
#pragma once

#include <windows.h>
#include <winsock.h>
#include <stdint.h>

#include "timebase/ntp_time.h"

// The settings window: owner of the activity log and target of every event.
extern HWND MainWindow;

// Registered message numbers of the socket notifications.
extern UINT msgSelectClient;
extern UINT msgSelectServer;

// Thresholds in 32.32 seconds, derived from the millisecond settings.
extern uint64_t qwAcceptableMaxLoopDelay;      // largest loop delay accepted, inclusive
extern uint64_t qwIgnorableMaxTimeDifference;  // offsets up to this size are left alone
extern int32_t fStayAfterAdjustment;           // 0: end by itself after the first reply

// The client's connection.
extern int32_t fOnline;
extern sockaddr_in saServer;

// What the client learnt from its server, which server mode passes on.
extern int32_t fSynchronized;         // set by the first reply with an accepted delay, never cleared
extern NtpTimestamp qwReferenceTime;  // the time the clock was last set to
extern uint32_t dwReferenceId;        // low 32 bits of the last valid reply's transmit timestamp

// The automatic exit after the first reply.
extern int32_t fExitCountdown;
extern int32_t nExitCount;

extern SOCKET sockServer;
