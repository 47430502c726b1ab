#include "history/reply_history.h"

#include "base/ring_slot.h"

ReplyHistory judgedReplies;

void AppendHistory(ReplyHistory* history, const HistoryPoint& point)
{
    history->aPoints[TakeRingSlot(&history->nFirst, &history->nCount, REPLY_HISTORY_SIZE)] = point;
    ++history->qwAppended;
}

const HistoryPoint& HistoryAt(const ReplyHistory& history, int i)
{
    return history.aPoints[(history.nFirst + i) % REPLY_HISTORY_SIZE];
}
