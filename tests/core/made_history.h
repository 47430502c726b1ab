// Histories of a simulated PC, for the clock doctor's tests and for the
// benchmarks and screenshots that need a long one: a clock that drifts,
// polled and corrected as the program does, switched off each night and
// found at each start as the plan says. Pure and deterministic.
#pragma once

#include <vector>

#include "journal/journal_record.h"

enum StartFault {
    START_AS_LEFT,      // the clock ran on while off, drifting as ever
    START_WHOLE_HOURS,  // another system set the hardware clock to UTC: nFaultHours behind
    START_STOPPED,      // the clock stood still while off
};

struct MadeHistoryPlan {
    double days;           // from the first start, 2026-12-09 14:00 UTC
    int nPoll_min;
    double drift_sec_day;  // positive: the clock gains
    double tolerance_sec;  // a larger offset is corrected
    double noise_sec;      // each measurement off by up to this either way, the same every run
    int nOffHours;         // each night; 0: never switched off
    StartFault nFault;
    int nFaultHours;
};

// START a minute after each boot, a reply 2 s later and then every poll,
// END a minute before the power goes; uptimes count from each boot.
std::vector<JournalRecord> MakeHistory(const MadeHistoryPlan& plan);
