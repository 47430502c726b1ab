// The client's way online and offline: the socket and the asynchronous
// lookups of the server's address and port, with what the user wants kept
// apart from where the client stands. While the user wants it online, a
// failed step is tried again by itself, 15 s later and then doubling. The
// door's ToggleOnline, lookup completions and CloseClientSocket live here;
// these are for the client's other files.
#pragma once

#include "sntp/client_status.h"

// The client as the user sees it, from where it stands and what is wanted.
ClientFace CurrentFace();

// Goes online again with the server name of the last attempt: a retry
// whose wait is over, or the network's return. RATE holds, and the first
// poll waits until 15 s have passed since the last request.
void GoOnlineAgain();

// Goes offline whatever the client was doing. With fKeepWish (the network
// went away) the user still wants it online; without, it stays offline.
void StopClient(bool fKeepWish);

// The server's kiss-o'-death: offline, and no asking until the user's next
// click, which ends the trying (the user sees it trying, stopped).
void StopForServer();
