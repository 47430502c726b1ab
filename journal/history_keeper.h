// The history kept across starts and the clock doctor that reads it: the
// client's judged replies, the program's start and end and the PC's sleep,
// recorded as they happen with how long Windows had been running, and read
// back at the next start.
#pragma once

#include "journal/clock_doctor.h"
#include "journal/journal_record.h"
#include "sntp/judged_reply.h"

// Reads what earlier runs recorded, each judged reply to onReply (for the
// window's record), and records this start.
void StartKeepingHistory(void (*onReply)(const HistoryPoint& point));

// A judged reply, as the client recorded it.
void KeepJudgedReply(const HistoryPoint& point);

// JOURNAL_SLEEP or JOURNAL_WAKE.
void KeepPowerEvent(JournalKind nKind);

// Records the end; nothing is recorded after it.
void StopKeepingHistory();

// What the doctor finds in all that was kept, in words: the number of lines.
int DoctorSays(char (&lines)[DOCTOR_LINES][DOCTOR_LINE_SIZE]);
