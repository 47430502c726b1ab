// The client's way online and offline: the socket, the lookups of the
// server's address and port, and the display of the online state.
#pragma once

#include <windows.h>
#include <winsock.h>

// Command 40003: goes online, or offline when online.
void ToggleOnline(HWND hwnd);

// Completions of the asynchronous host and service lookups.
void OnHostResolved(HANDLE hTask, int nError);
void OnServiceResolved(HANDLE hTask, int nError);

// Shuts sockClient down in both directions and closes it, if it is open.
void CloseClientSocket();
