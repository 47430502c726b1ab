// The client's way online and offline: the socket and the asynchronous
// lookups of the server's address and port, with what the user wants kept
// apart from where the client stands (client.nStatus). While the user wants
// it online, a failed step is tried again by itself, 15 s later and then
// doubling. Never blocks and touches no window: the shell hears of each
// change of the online state through the function it gives at start.
#pragma once

#include <windows.h>
#include <winsock.h>

// Where the client's socket and lookups report: a window and the registered
// messages it routes to OnClientRead and the two lookups' completions.
struct ClientEvents {
    HWND hwnd;
    UINT msgGetHostByXXXX;
    UINT msgGetServByXXXX;
    UINT msgSelectClient;
};

// Given by the shell once its window exists, before the client goes online.
void SetClientEvents(const ClientEvents& events);

// The shell's function that shows the online state, called on each change.
void SetOnlineStateView(void (*pfnShow)(bool fOnline));

// Command 40003, the user's click: goes offline when online, and the user
// wants it offline; otherwise (also while a lookup is pending or a retry
// waits) the user wants it online, and it goes online afresh with this
// server name or dotted address: it polls at once and forgets RATE.
void ToggleOnline(const char* szServerName);

// Completions of the host and service lookups (task handle, error). Those
// of a cancelled or superseded lookup are ignored without a line.
void OnHostResolved(HANDLE hTask, int nError);
void OnServiceResolved(HANDLE hTask, int nError);

// Goes online again with the server name of the last attempt: a retry
// whose wait is over, or the network's return. RATE holds, and the first
// poll waits until 15 s have passed since the last request.
void GoOnlineAgain();

// Goes offline whatever the client was doing. With fKeepWish (the network
// went away) the user still wants it online; without (the server said no
// more) it waits for the user.
void StopClient(bool fKeepWish);

// Shuts sockClient down in both directions and closes it, if it is open.
void CloseClientSocket();
