// Why this PC's clock goes wrong, from the history's records read oldest
// first in constant memory: how fast the clock drifts between corrections,
// and what it does across each start of Windows and each long sleep. Pure;
// its findings end as a few lines of plain Japanese.
#pragma once

#include <stdint.h>

#include "journal/journal_record.h"

enum { DOCTOR_EVENTS = 64, DOCTOR_LINES = 4, DOCTOR_LINE_SIZE = 256 };

// A start of Windows or a long sleep, judged by the first reply after it.
struct DoctorEvent {
    double change_sec;   // the offset then minus the offset the clock had before
    double elapsed_sec;  // true time between the replies either side
    double off_sec;      // true time the PC was off or asleep
};

// The sums of one stretch where the clock ran free: t in seconds of true
// time since its first point, offsets in seconds from its first point's.
struct DriftSums {
    int n;
    double t, o, tt, to, oo, span_sec;
};

// The stretches that ended with two points or more, their sums about each
// one's own means pooled.
struct DriftTotals {
    int nPoints, nStretches;
    double sxx, sxy, syy, span_sec;
};

struct ClockDoctor {
    bool fAnyRecord = false;
    uint32_t nLastUptime_sec = 0;
    NtpTimestamp qwLastClock = 0;  // the last record's time, as the clock reads after any correction then
    // Since the last break: the offset the clock has now (0 after a correction).
    bool fOffsetKnown = false;
    int64_t llOffsetNow = 0;
    NtpTimestamp qwLastReplyTrue = 0;
    // A start or long sleep waiting for its first reply, with the offset and
    // true times from before it.
    bool fPending = false;
    bool fWindowsStarted = false;   // the uptime tells a start of Windows: an event however short
    uint32_t nEventUptime_sec = 0;  // 0 for a start of Windows, else the breaking record's
    int64_t llOffsetBefore = 0;
    NtpTimestamp qwReplyTrueBefore = 0, qwRecordTrueBefore = 0;
    // The stretch running now, from its first point's true time and offset.
    bool fInStretch = false;
    NtpTimestamp qwStretchBase = 0;
    double stretchOffset0_sec = 0;
    DriftSums stretch = {};
    DriftTotals totals = {};
    // The newest DOCTOR_EVENTS events, in a ring.
    DoctorEvent aEvents[DOCTOR_EVENTS] = {};
    int nEvents = 0, nNextEvent = 0;
};

// Records oldest first; a reply too slow to trust is passed over. A stretch
// runs from a correction (or the first reply after a break) to the next
// correction or break: a start of Windows (the uptime fell back, or the
// boot it implies is later than the record before), a start of the
// program, a wake, or 18 h without a record. The first reply after a break
// judges it as an event: a start of Windows always, any other break when
// an hour or more of true time passed since the record before.
void DoctorTake(ClockDoctor* doctor, const JournalRecord& record);

struct DoctorFindings {
    bool fDriftKnown;       // the stretches span a day, with 10 points or more
    double drift_sec_day;   // positive: the clock gains
    double margin_sec_day;  // two standard errors either way
    int nEvents, nNormal, nStopped, nWholeHours;  // the events kept, and how each looked
    int nHours;             // of the newest whole-hours event: positive when the clock was behind
    bool fWholeHours, fBattery, fFastDrift, fNothingUnusual;  // the verdicts that hold
};

// Each start and sleep of an hour or more, by what the drift leaves
// unexplained: a clock stopped while off, whole hours (a hardware clock in
// UTC), or normal. Whole hours or a stopped clock when two events and most
// show it; a fast drift above 10 s a day; nothing unusual when the drift is
// known and most events are normal.
DoctorFindings ConcludeDoctor(const ClockDoctor& doctor);

// The drift first, then each verdict that holds, or what data is missing;
// code page 932. Returns the number of lines.
int FormatDoctorLines(const DoctorFindings& findings, char (&lines)[DOCTOR_LINES][DOCTOR_LINE_SIZE]);
