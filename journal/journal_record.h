// The history kept across starts, as records: what each judged reply found,
// and when the program started, ended, and the PC slept and woke, each with
// how long Windows had been running. Pure: the bytes of a record and the
// scan that finds them again, skipping whatever is torn or corrupt.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include "sntp/judged_reply.h"
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
// cut short or overwritten is never taken for one: "TH", kind, outcome (0
// for all but replies), uptime, time, offset, loop delay, then the CRC-32
// (zlib's) of those 32 bytes.
void EncodeJournalRecord(const JournalRecord& record, JournalBytes& bytes);

// The first whole, intact record in data[0 .. n): true with it in *record
// and *pnUsed the bytes up to its end; false when none starts in data[0 ..
// n - JOURNAL_RECORD_SIZE], with *pnUsed the bytes that can hold no record's
// start (n - (JOURNAL_RECORD_SIZE - 1), or 0 when n is shorter), so that a
// reader keeps the rest for the next chunk. Intact: the mark, a known kind,
// an outcome as above, and the CRC.
bool ScanJournal(const uint8_t* data, size_t n, JournalRecord* record, size_t* pnUsed);

// The file is bounded by what it holds, never by a clock, which may read
// 2000 or months ahead at a start: its newest 130,000 records are kept (90
// days at a one-minute poll, about 4.5 MiB). Where the part to keep begins
// in a file of qwSize bytes, on a record's boundary; 0 while the file
// holds less than a further day's worth at that poll beyond them, so that
// it is rewritten at most once a day.
enum { JOURNAL_KEPT_RECORDS = 130000, JOURNAL_DAY_RECORDS = 1440 };
uint64_t JournalKeepFrom(uint64_t qwSize);
