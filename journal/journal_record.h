// The history kept across starts, as records: what each judged reply found,
// and when the program started, ended, and the PC slept and woke, each with
// how long Windows had been running. Pure: the bytes of a record and the
// scan that finds them again, skipping whatever is torn or corrupt.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include "sntp/reply_history.h"
#include "timebase/ntp_time.h"

enum JournalKind : uint8_t {
    JOURNAL_REPLY = 1,  // a judged reply: offset, loop delay, outcome
    JOURNAL_START,      // the program started
    JOURNAL_END,        // the program ended
    JOURNAL_SLEEP,      // the PC is going to sleep
    JOURNAL_WAKE,       // the PC woke from sleep
};

struct JournalRecord {
    JournalKind nKind;
    ReplyOutcome nOutcome;  // replies only
    uint32_t nUptime_sec;   // how long Windows had been running (sleep included)
    NtpTimestamp qwTime;    // the clock's reading then: T4 for a reply
    int64_t llOffset;       // replies: 32.32, positive when the clock was behind
    uint64_t qwLoopDelay;   // replies: 32.32
};

enum { JOURNAL_RECORD_SIZE = 36 };

typedef uint8_t JournalBytes[JOURNAL_RECORD_SIZE];

// Little-endian, with a mark and a CRC-32 of the rest, so that a record
// cut short or overwritten is never taken for one.
void EncodeJournalRecord(const JournalRecord& record, JournalBytes& bytes);

// The first whole, intact record in data[0 .. n): true with it in *record
// and *pnUsed the bytes up to its end; false with *pnUsed the bytes that can
// hold no record's start (all but the last JOURNAL_RECORD_SIZE - 1), so that
// a reader keeps the rest for the next chunk.
bool ScanJournal(const uint8_t* data, size_t n, JournalRecord* record, size_t* pnUsed);
