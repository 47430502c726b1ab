// The record of the replies the client judged that the history window
// shows: the newest 1,000, oldest first, each with its arrival, offset,
// loop delay and what became of it. Pure, so that it is checked natively.
#pragma once

#include <stdint.h>

#include "sntp/judged_reply.h"

enum { REPLY_HISTORY_SIZE = 1000 };

struct ReplyHistory {
    HistoryPoint aPoints[REPLY_HISTORY_SIZE];
    int nFirst;            // slot of the oldest point kept
    int nCount;            // points kept, at most REPLY_HISTORY_SIZE
    uint64_t qwAppended;   // points ever appended: a view compares it with what it shows
};

// The program's one record, fed by the shell with each reply judged and, at
// start, with those of earlier runs; on the user-interface thread only.
extern ReplyHistory judgedReplies;

// Appends the newest point; with the record full, the oldest goes.
void AppendHistory(ReplyHistory* history, const HistoryPoint& point);

// Point i, counted from the oldest kept (0 .. nCount - 1).
const HistoryPoint& HistoryAt(const ReplyHistory& history, int i);
