// The client's way online and offline: the socket, the asynchronous lookups
// of the server's address and port, and the display of the online state in
// the button, the menus' check marks and the tray icon. Never blocks.
#pragma once

#include <windows.h>
#include <winsock.h>

// Command 40003: goes offline when online; otherwise (also while a lookup is
// pending) starts going online afresh with the server text of the window.
void ToggleOnline(HWND hwnd);

// Completions of the host and service lookups (task handle, error). Those
// of a cancelled or superseded lookup are ignored without a line.
void OnHostResolved(HANDLE hTask, int nError);
void OnServiceResolved(HANDLE hTask, int nError);

// Shuts sockClient down in both directions and closes it, if it is open.
void CloseClientSocket();
