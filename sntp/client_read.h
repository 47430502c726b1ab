// The client socket's read event: receive the server's reply, judge it, log
// the judgement, correct the clock when it says so, and record what server
// mode and the automatic exit need.
#pragma once

#include <windows.h>
#include <winsock.h>

#include "sntp/reply_history.h"

// For each msgSelectClient message: the socket (wParam) and the event bits
// (low word of lParam).
void OnClientRead(SOCKET sock, WORD event);

// For each tick, and before each datagram: once a second with datagrams
// that answered no request counted (beyond the couple told in full) is
// over, the line that sums them up, "要求に対応しない受信 N件 (ログ省略)".
void SumUpStrayDatagrams();

// Every reply that passed the checks and answered the request out, whether
// its delay was accepted or not, with what became of it.
extern ReplyHistory replyHistory;

// Told after each reply recorded in the history, once its judgement is
// taken (NULL: nobody), so that the shell can show when and how it found
// the clock.
void SetJudgedReplyView(void (*pfnShow)());
