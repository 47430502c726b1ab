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

// Registered message numbers of the lookup and socket notifications.
extern UINT msgGetHostByXXXX;
extern UINT msgGetServByXXXX;
extern UINT msgSelectClient;
extern UINT msgSelectServer;

// The hidden window that owns the tray icon, and its popup menu.
extern HWND TrayWindow;
extern HMENU hTrayMenu;

// Icons loaded once at start and kept for the life of the process.
extern HICON hIconApp16;
extern HICON hIconApp32;
extern HICON hIconOnline16;

// Settings (the server name lives in combo box 1018).
extern int32_t nCheckTimer_minute;
extern int32_t nAcceptableMaxLoopDelay_ms;
extern int32_t nIgnorableMaxTimeDifference_ms;
extern int32_t fStartAtFirst;
extern int32_t fActAsSNTPServer;
extern int32_t fFirstRun;  // no settings key existed at start

// Thresholds in 32.32 seconds, derived from the millisecond settings.
extern uint64_t qwAcceptableMaxLoopDelay;      // largest loop delay accepted, inclusive
extern uint64_t qwIgnorableMaxTimeDifference;  // offsets up to this size are left alone
extern int32_t fStayAfterAdjustment;           // 0: end by itself after the first reply

// The client's connection.
extern int32_t fOnline;
extern int32_t fCycleActive;
extern int32_t nCycleCount;
extern sockaddr_in saServer;
extern SOCKET sockClient;

// What the client learnt from its server, which server mode passes on.
extern int32_t fSynchronized;         // set by the first reply with an accepted delay, never cleared
extern NtpTimestamp qwReferenceTime;  // the time the clock was last set to
extern uint32_t dwReferenceId;        // low 32 bits of the last valid reply's transmit timestamp

// The automatic exit after the first reply.
extern int32_t fExitCountdown;
extern int32_t nExitCount;

extern SOCKET sockServer;
