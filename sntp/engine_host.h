// How the engine (the client and server mode) reaches the world: one table
// of functions that the program hosting it hands over before it starts, as
// a terminal's back end reaches its front end. A window program routes its
// window's messages back to the engine's doors; a service or a test host
// does the same with its own loop. Nothing in the engine knows a window.
#pragma once

#include <windows.h>
#include <winsock.h>

#include "sntp/client_status.h"
#include "sntp/judged_reply.h"
#include "timebase/clock.h"

// Which of the engine's sockets a readiness notice belongs to.
enum EngineSocket {
    ENGINE_CLIENT_SOCKET,  // its notices go to OnClientRead
    ENGINE_SERVER_SOCKET,  // to OnServerRead
};

struct EngineHost {
    // Asks for the socket's readiness (FD_ bits; 0: none for now) to come
    // back to its door. 0, or the Windows Sockets error.
    int (*pfnWatchSocket)(SOCKET sock, EngineSocket role, long lEvents);
    // Start the asynchronous lookups whose completions go to OnHostResolved
    // and OnServiceResolved, filling abEntry. The task handle; 0 when the
    // lookup could not start (WSAGetLastError says why).
    HANDLE (*pfnLookUpHost)(const char* szName, char* abEntry, int cbEntry);
    HANDLE (*pfnLookUpService)(const char* szService, const char* szProtocol, char* abEntry, int cbEntry);
    // A line of the activity log, on the host's thread.
    void (*pfnLogLine)(const char* text);
    // A reply was judged, with all there is to know of it (NULL: nobody).
    void (*pfnReplyJudged)(const JudgedReply& reply);
    // The client's face changed: on (online or trying) or off (NULL: nobody).
    void (*pfnStateChanged)(ClientFace face);
    // Sets the system clock.
    ClockSetResult (*pfnSetClock)(NtpTimestamp qwTime);
};

// Before the engine's first use, and again to change hosts; kept by value.
void SetEngineHost(const EngineHost& host);
