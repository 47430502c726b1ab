// The client's way online and offline: the socket and the asynchronous
// lookups of the server's address and port. Never blocks, and touches no
// window: each call says whether the online state changed, for the shell to
// show.
#pragma once

#include <windows.h>
#include <winsock.h>

// Command 40003: goes offline when online; otherwise (also while a lookup is
// pending) starts going online afresh with this server name or dotted
// address. True when it went offline.
bool ToggleOnline(const char* szServerName);

// Completions of the host and service lookups (task handle, error). Those
// of a cancelled or superseded lookup are ignored without a line. The
// service lookup's completion returns true when it took the client online.
void OnHostResolved(HANDLE hTask, int nError);
bool OnServiceResolved(HANDLE hTask, int nError);

// Shuts sockClient down in both directions and closes it, if it is open.
void CloseClientSocket();
