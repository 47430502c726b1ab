#include "app/state.h"

HWND MainWindow = NULL;

UINT msgSelectClient = 0;
UINT msgSelectServer = 0;

uint64_t qwAcceptableMaxLoopDelay = 0x0000000099999999ull;      // 600 ms
uint64_t qwIgnorableMaxTimeDifference = 0x0000000033333333ull;  // 200 ms
int32_t fStayAfterAdjustment = 1;

int32_t fOnline = 0;
sockaddr_in saServer = {};

int32_t fSynchronized = 0;
NtpTimestamp qwReferenceTime = 0;
uint32_t dwReferenceId = 0;

int32_t fExitCountdown = 0;
int32_t nExitCount = 0;

SOCKET sockServer = INVALID_SOCKET;
