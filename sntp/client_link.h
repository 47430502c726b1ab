// The client's way online and offline: each source's socket and
// asynchronous lookups of its server's address and port, with what the
// user wants kept apart from where the sources stand. While the user wants
// it online, a source's failed step is tried again by itself, 15 s later
// and then doubling. The door's ToggleOnline, lookup completions and
// CloseClientSocket live here; these are for the client's other files.
#pragma once

#include "sntp/client_status.h"
#include "sntp/source.h"

// The client as the user sees it, from where its sources stand and what is
// wanted.
ClientFace CurrentFace();

// Whether any source is online: polling its server.
bool AnySourceOnline();

// Where the client stands: online when any source is, else where its first
// source stands.
ClientStatus CurrentStatus();

// Takes the source's way online again with the server name of its last
// attempt: a retry whose wait is over, or the network's return. RATE holds,
// and the first poll waits until 15 s have passed since the last request.
void GoOnlineAgain(Source* source);

// Every source goes offline whatever it was doing. With fKeepWish (the
// network went away) the user still wants the client online; without, it
// stays offline.
void StopClient(bool fKeepWish);

// The server's kiss-o'-death: the source goes offline, and is not asked
// until the user's next click, which ends the trying (the user sees it
// trying, stopped).
void StopForServer(Source* source);
