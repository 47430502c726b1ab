#include "made_history.h"

#include <math.h>

namespace {

const NtpTimestamp kFirstBoot = 0xEEC3DC6000000000ull;  // 2026-12-09 14:00:00 UTC
const uint32_t kProgramAfterBoot_sec = 60;
const uint64_t kLoopDelay = 0x05000000;  // about 20 ms

struct MadePc {
    const MadeHistoryPlan& plan;
    std::vector<JournalRecord> records;
    int64_t llTrue_sec = 0;    // true seconds since the first boot
    double error_sec = 0;      // the clock minus the true time
    int64_t llBoot_sec = 0;
    uint32_t dwSeed = 12345;
};

int64_t ToNtp(double seconds)
{
    return (int64_t)llround(seconds * 4294967296.0);
}

// The clock drifts until the given true time.
void RunTo(MadePc* pc, int64_t llTrue_sec)
{
    pc->error_sec += pc->plan.drift_sec_day * (double)(llTrue_sec - pc->llTrue_sec) / 86400;
    pc->llTrue_sec = llTrue_sec;
}

double Noise(MadePc* pc)
{
    pc->dwSeed = pc->dwSeed * 1664525 + 1013904223;
    return pc->plan.noise_sec * ((pc->dwSeed >> 8) / 8388608.0 - 1);
}

void Record(MadePc* pc, JournalKind nKind, ReplyOutcome nOutcome, double offset_sec)
{
    NtpTimestamp qwClock = kFirstBoot + ((uint64_t)pc->llTrue_sec << 32) + (uint64_t)ToNtp(pc->error_sec);
    uint32_t nUptime_sec = (uint32_t)(pc->llTrue_sec - pc->llBoot_sec);
    pc->records.push_back({nKind, nOutcome, nUptime_sec, qwClock, ToNtp(offset_sec), nKind == JOURNAL_REPLY ? kLoopDelay : 0});
}

// offset = -error, measured; a correction by it leaves only the noise.
void Poll(MadePc* pc, int64_t llTrue_sec)
{
    RunTo(pc, llTrue_sec);
    double offset = -pc->error_sec + Noise(pc);
    bool fCorrect = fabs(offset) > pc->plan.tolerance_sec;
    Record(pc, JOURNAL_REPLY, fCorrect ? REPLY_CORRECTED : REPLY_WITHIN_TOLERANCE, offset);
    if (fCorrect) pc->error_sec += offset;
}

void RunSession(MadePc* pc, int64_t llOn_sec)
{
    int64_t llEnd = pc->llBoot_sec + llOn_sec - kProgramAfterBoot_sec;
    RunTo(pc, pc->llBoot_sec + kProgramAfterBoot_sec);
    Record(pc, JOURNAL_START, REPLY_WITHIN_TOLERANCE, 0);
    for (int64_t t = pc->llTrue_sec + 2; t < llEnd; t += pc->plan.nPoll_min * 60) Poll(pc, t);
    RunTo(pc, llEnd);
    Record(pc, JOURNAL_END, REPLY_WITHIN_TOLERANCE, 0);
}

// The power went at the session's end plus a minute.
void Boot(MadePc* pc, int64_t llBoot_sec)
{
    int64_t llOff_sec = llBoot_sec - (pc->llTrue_sec + kProgramAfterBoot_sec);
    RunTo(pc, llBoot_sec);
    if (pc->plan.nFault == START_STOPPED) pc->error_sec -= (double)llOff_sec + pc->plan.drift_sec_day * llOff_sec / 86400;
    if (pc->plan.nFault == START_WHOLE_HOURS) pc->error_sec = -3600.0 * pc->plan.nFaultHours;
    pc->llBoot_sec = llBoot_sec;
}

}  // namespace

std::vector<JournalRecord> MakeHistory(const MadeHistoryPlan& plan)
{
    MadePc pc = {plan};
    int64_t llLife_sec = (int64_t)(plan.days * 86400);
    int64_t llPeriod_sec = plan.nOffHours > 0 ? 86400 : llLife_sec;
    int64_t llOn_sec = plan.nOffHours > 0 ? 86400 - plan.nOffHours * 3600 : llLife_sec;
    for (int64_t llBoot = 0; llBoot < llLife_sec; llBoot += llPeriod_sec) {
        if (llBoot > 0) Boot(&pc, llBoot);
        RunSession(&pc, llOn_sec < llLife_sec - llBoot ? llOn_sec : llLife_sec - llBoot);
    }
    return pc.records;
}
