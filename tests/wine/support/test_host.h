// The tests' own host of the engine: the sockets and lookups report to the
// log window as fixed messages, which a test waits for and hands to the
// engine's doors itself; lines go to the activity log; each reply judged is
// kept for the test to read.
#pragma once

#include <windows.h>
#include <winsock.h>

#include <vector>

#include "sntp/client_status.h"
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

// A port (network order) that the service lookup answers with at once, as a
// test's own server's; 0: the system's lookup.
extern u_short testHostServicePort;

// The user's click online to the server at saServer's address, and the
// service lookup's answer with its port: true once the client is online.
bool GoOnlineTo(const sockaddr_in& saServer);

// Hosts the engine and the log in hwnd, with nothing heard yet.
void StartTestHost(HWND hwnd);

// Each of the window's messages: true when it was the host's and now handled
// (a carried log line; the engine's own are the test's to hand on).
bool OnTestHostMessage(UINT msg, WPARAM wParam, LPARAM lParam);
