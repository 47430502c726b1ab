// The client socket's read event: receive the server's reply, judge it, log
// the judgement, correct the clock when it says so, and record what server
// mode and the automatic exit need.
#pragma once

#include <windows.h>
#include <winsock.h>

// For each msgSelectClient message: the socket (wParam) and the event bits
// (low word of lParam).
void OnClientRead(SOCKET sock, WORD event);

// Told after each reply whose delay was accepted, once its judgement is
// taken (NULL: nobody), so that the shell can show when and how it found
// the clock.
void SetJudgedReplyView(void (*pfnShow)());
