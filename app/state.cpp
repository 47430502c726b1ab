#include "app/state.h"

HWND MainWindow = NULL;

UINT msgGetHostByXXXX = 0;
UINT msgGetServByXXXX = 0;
UINT msgSelectClient = 0;
UINT msgSelectServer = 0;

HWND TrayWindow = NULL;
HMENU hTrayMenu = NULL;

HICON hIconApp16 = NULL;
HICON hIconApp32 = NULL;
HICON hIconOnline16 = NULL;

int32_t nCheckTimer_minute = 10;
int32_t nAcceptableMaxLoopDelay_ms = 600;
int32_t nIgnorableMaxTimeDifference_ms = 200;
int32_t fStartAtFirst = 0;
int32_t fActAsSNTPServer = 0;
int32_t fFirstRun = 0;

uint64_t qwAcceptableMaxLoopDelay = 0x0000000099999999ull;      // 600 ms
uint64_t qwIgnorableMaxTimeDifference = 0x0000000033333333ull;  // 200 ms
int32_t fStayAfterAdjustment = 1;

int32_t fOnline = 0;
int32_t fCycleActive = 0;
int32_t nCycleCount = 0;
sockaddr_in saServer = {};
SOCKET sockClient = INVALID_SOCKET;

int32_t fSynchronized = 0;
NtpTimestamp qwReferenceTime = 0;
uint32_t dwReferenceId = 0;

int32_t fExitCountdown = 0;
int32_t nExitCount = 0;

SOCKET sockServer = INVALID_SOCKET;
