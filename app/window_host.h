// The window program as the engine's and the log's host: the client's and
// server mode's sockets and lookups report to the main window as registered
// messages, which come back here to be routed to the engine's doors; other
// threads' log lines are carried to the window's thread; the engine's news
// goes to the shell's views given at start.
#pragma once

#include <windows.h>

#include "sntp/client_status.h"
#include "sntp/judged_reply.h"

// What the shell shows of the engine's news (either may be NULL).
struct EngineViews {
    void (*pfnReplyJudged)(const JudgedReply& reply);
    void (*pfnStateChanged)(ClientFace face);
};

// On the window's thread, once it exists and before the engine is used.
void StartWindowHost(HWND hwnd, EngineViews views);

// The window is going: log lines are dropped and the news is told to nobody.
void StopWindowHost();

// Each message of the window first: true when it was the host's, now routed.
bool RouteHostMessage(UINT msg, WPARAM wParam, LPARAM lParam);
