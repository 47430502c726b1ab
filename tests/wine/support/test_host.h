// The tests' own host of the engine: sockets and lookups report to the
// window as fixed messages, which a test hands to the engine's doors itself;
// each reply judged is kept for the test to read. And a client's report
// that a test plays to the shell or server mode.
#pragma once

#include <windows.h>
#include <winsock.h>

#include <vector>

#include "sntp/client.h"
#include "sntp/judged_reply.h"

const UINT WM_TEST_CLIENT = WM_APP + 0x60;
const UINT WM_TEST_SERVER = WM_APP + 0x61;
const UINT WM_TEST_HOST_LOOKUP = WM_APP + 0x62;
const UINT WM_TEST_SERVICE_LOOKUP = WM_APP + 0x63;
const UINT WM_TEST_LOGLINE = WM_APP + 0x64;

struct TestHostNews {
    std::vector<HistoryPoint> judged;
    SOCKET sockClient = INVALID_SOCKET;  // the client socket last watched
};

extern TestHostNews testHostNews;

// The user's click online to the server at saServer, whose port the service
// lookup answers at once: true once the client is online.
bool GoOnlineTo(const sockaddr_in& saServer);

// Hands the service lookup's answers to the client: true once it is online.
bool FinishGoingOnline();

// Where the client's socket listens, on 127.0.0.1.
sockaddr_in ClientAddress();

extern ClientReport played;
ClientReport PlayedReport();

// Hosts the engine and the log in hwnd, with nothing heard yet.
void StartTestHost(HWND hwnd);

// Each of the window's messages: true when it was the host's and now handled
// (a carried log line; the engine's own are the test's to hand on).
bool OnTestHostMessage(UINT msg, WPARAM wParam, LPARAM lParam);
