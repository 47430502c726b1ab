#include "journal/history_keeper.h"

#include "journal/journal_file.h"
#include "timebase/clock.h"

namespace {

ClockDoctor doctor;
void (*pfnRecallReply)(const HistoryPoint&) = NULL;

void Recall(const JournalRecord& record)
{
    DoctorTake(&doctor, record);
    if (record.nKind != JOURNAL_REPLY || pfnRecallReply == NULL) return;
    HistoryPoint point = {record.qwTime, record.llOffset, record.qwLoopDelay, record.nOutcome};
    pfnRecallReply(point);
}

// Sleep counts: a start of Windows is told by this falling.
uint32_t Uptime_sec()
{
    return (uint32_t)(MonotonicMs() / 1000);
}

void Keep(const JournalRecord& record)
{
    DoctorTake(&doctor, record);
    AppendJournal(record);
}

void KeepEvent(JournalKind nKind)
{
    Keep(JournalRecord{nKind, REPLY_WITHIN_TOLERANCE, Uptime_sec(), NtpNow(), 0, 0});
}

}  // namespace

void StartKeepingHistory(void (*onReply)(const HistoryPoint& point))
{
    doctor = ClockDoctor();
    pfnRecallReply = onReply;
    OpenJournal(Recall);
    pfnRecallReply = NULL;
    KeepEvent(JOURNAL_START);
}

void KeepJudgedReply(const HistoryPoint& point)
{
    Keep(JournalRecord{JOURNAL_REPLY, point.nOutcome, Uptime_sec(), point.qwArrival, point.llOffset,
                       point.qwLoopDelay});
}

void KeepPowerEvent(JournalKind nKind)
{
    KeepEvent(nKind);
}

void StopKeepingHistory()
{
    KeepEvent(JOURNAL_END);
    CloseJournal();
}

int DoctorSays(char (&lines)[DOCTOR_LINES][DOCTOR_LINE_SIZE])
{
    return FormatDoctorLines(ConcludeDoctor(doctor), lines);
}
