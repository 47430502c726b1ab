#include "journal/clock_doctor.h"

#include <math.h>
#include <stdio.h>

namespace {

const double kDay_sec = 86400;
const int kLeastPoints = 10;
const double kGap_sec = 18 * 3600;  // beyond the longest poll interval, 999 minutes: the program was not watching
const double kLongSleep_sec = 3600;
const double kBootSlack_sec = 2;  // uptimes are whole seconds
const double kSmallChange_sec = 60;
const double kStopShare = 0.1, kStopSlack_sec = 120;
const double kWholeHoursLeast_sec = 50 * 60, kWholeHoursSlack_sec = 120;
const double kFarthestZone_hours = 14;  // no time zone lies further from UTC
const double kFastDrift_sec_day = 10;

// A start of Windows (BREAK_START) is told by the uptime; Fast Startup's
// shut-down hibernates, so that the uptime runs on through the night and
// only the program's own start (BREAK_PROGRAM) shows it.
enum Break { BREAK_NONE, BREAK_GAP, BREAK_WAKE, BREAK_PROGRAM, BREAK_START };

enum EventLook { LOOK_NORMAL, LOOK_STOPPED, LOOK_WHOLE_HOURS, LOOK_OTHER };

double Seconds(int64_t value)
{
    return (double)value / 4294967296.0;
}

double SecondsBetween(NtpTimestamp later, NtpTimestamp earlier)
{
    return Seconds((int64_t)(later - earlier));
}

NtpTimestamp SecondsBefore(NtpTimestamp t, uint32_t nSeconds)
{
    return t - ((uint64_t)nSeconds << 32);
}

void AddPoint(ClockDoctor* d, NtpTimestamp qwTrue, double offset_sec)
{
    if (!d->fInStretch) {
        d->fInStretch = true;
        d->qwStretchBase = qwTrue;
        d->stretchOffset0_sec = offset_sec;
        d->stretch = DriftSums{};
    }
    double t = SecondsBetween(qwTrue, d->qwStretchBase), o = offset_sec - d->stretchOffset0_sec;
    DriftSums& s = d->stretch;
    s.n += 1;
    s.t += t;
    s.o += o;
    s.tt += t * t;
    s.to += t * o;
    s.oo += o * o;
    s.span_sec = fmax(s.span_sec, t);
}

// One slope for all stretches, an intercept each: the sums about each
// stretch's own means are pooled, slope = ΣΣ(t - t̄)(o - ō) / ΣΣ(t - t̄)².
void AddStretch(DriftTotals* totals, const DriftSums& s)
{
    if (s.n < 2) return;
    totals->sxx += s.tt - s.t * s.t / s.n;
    totals->sxy += s.to - s.t * s.o / s.n;
    totals->syy += s.oo - s.o * s.o / s.n;
    totals->nPoints += s.n;
    totals->nStretches += 1;
    totals->span_sec += s.span_sec;
}

void EndStretch(ClockDoctor* d)
{
    if (d->fInStretch) AddStretch(&d->totals, d->stretch);
    d->fInStretch = false;
}

// Windows started when the uptime fell back, or when the clock's reading
// less the uptime, its boot, comes after the record before. Whatever the
// program did not watch (it was not running, the PC slept, or no record
// came for long) breaks the stretch too.
Break BreakBefore(const ClockDoctor& d, const JournalRecord& r)
{
    if (!d.fAnyRecord) return BREAK_NONE;
    if (r.nUptime_sec < d.nLastUptime_sec) return BREAK_START;
    if (SecondsBetween(SecondsBefore(r.qwTime, r.nUptime_sec), d.qwLastClock) > kBootSlack_sec) return BREAK_START;
    if (r.nKind == JOURNAL_START) return BREAK_PROGRAM;
    if (r.nKind == JOURNAL_WAKE) return BREAK_WAKE;
    return r.nUptime_sec - d.nLastUptime_sec > kGap_sec ? BREAK_GAP : BREAK_NONE;
}

// Every break waits for its first reply when the offset before it is
// known, and a break drops one still waiting. The event is dated back from
// that reply by the uptime since the boot, or since the break's own record.
void TakeBreak(ClockDoctor* d, Break nBreak, const JournalRecord& r)
{
    EndStretch(d);
    d->fPending = d->fOffsetKnown;
    d->fWindowsStarted = nBreak == BREAK_START;
    d->nEventUptime_sec = nBreak == BREAK_START ? 0 : r.nUptime_sec;
    d->llOffsetBefore = d->llOffsetNow;
    d->qwReplyTrueBefore = d->qwLastReplyTrue;
    d->qwRecordTrueBefore = d->qwLastClock + (uint64_t)d->llOffsetNow;
    d->fOffsetKnown = false;
}

// The event's true time is the reply's less the uptime since the boot or
// the break's record; the PC was off (or unwatched) from the record before
// until then. A start of Windows is an event however short; anything else
// only after an hour, so that a restart of the program alone is none.
void KeepEvent(ClockDoctor* d, const JournalRecord& r, NtpTimestamp qwTrue)
{
    NtpTimestamp qwEventTrue = SecondsBefore(qwTrue, r.nUptime_sec - d->nEventUptime_sec);
    double off_sec = SecondsBetween(qwEventTrue, d->qwRecordTrueBefore);
    d->fPending = false;
    if (!d->fWindowsStarted && off_sec < kLongSleep_sec) return;
    DoctorEvent& e = d->aEvents[d->nNextEvent];
    e.change_sec = Seconds(r.llOffset) - Seconds(d->llOffsetBefore);
    e.elapsed_sec = SecondsBetween(qwTrue, d->qwReplyTrueBefore);
    e.off_sec = off_sec;
    d->nNextEvent = (d->nNextEvent + 1) % DOCTOR_EVENTS;
    d->nEvents += d->nEvents < DOCTOR_EVENTS;
}

// A reply's true time is its clock reading plus its offset. A correction
// ends the stretch with the offset it found and begins the next at zero.
void TakeReply(ClockDoctor* d, const JournalRecord& r)
{
    NtpTimestamp qwTrue = r.qwTime + (uint64_t)r.llOffset;
    if (d->fPending) KeepEvent(d, r, qwTrue);
    AddPoint(d, qwTrue, Seconds(r.llOffset));
    bool fCorrected = r.nOutcome == REPLY_CORRECTED;
    if (fCorrected) {
        EndStretch(d);
        AddPoint(d, qwTrue, 0);
    }
    d->fOffsetKnown = true;
    d->llOffsetNow = fCorrected ? 0 : r.llOffset;
    d->qwLastReplyTrue = qwTrue;
}

// L = o - (o_before - g·Δ): what neither the offset before nor the drift
// explains. Stopped: the clock lost about the time it was off, or fell back
// more than a day beyond it (reset to a date long ago).
EventLook LookOf(const DoctorEvent& e, double g, double margin, double* pHours)
{
    double lost = e.change_sec + g * e.elapsed_sec;
    double stopSlack = fmax(kStopShare * e.off_sec, kStopSlack_sec);
    if (lost >= kSmallChange_sec && (fabs(lost - e.off_sec) <= stopSlack || lost > e.off_sec + kDay_sec))
        return LOOK_STOPPED;
    *pHours = round(lost / 3600);
    if (fabs(lost) >= kWholeHoursLeast_sec && fabs(*pHours) <= kFarthestZone_hours &&
        fabs(lost - *pHours * 3600) <= kWholeHoursSlack_sec)
        return LOOK_WHOLE_HOURS;
    return fabs(lost) < kSmallChange_sec + margin * fabs(e.elapsed_sec) ? LOOK_NORMAL : LOOK_OTHER;
}

// The drift from the pooled sums, and its margin of two standard errors
// from the residuals, Σ(o - ō)² - slope·Σ(t - t̄)(o - ō), with a degree of
// freedom spent on each stretch's intercept and one on the slope.
void ConcludeDrift(const DriftTotals& d, DoctorFindings* f)
{
    int nFree = d.nPoints - d.nStretches - 1;
    if (d.span_sec < kDay_sec || d.nPoints < kLeastPoints || nFree <= 0 || !(d.sxx > 0)) return;
    double slope = d.sxy / d.sxx;
    double residuals = fmax(d.syy - slope * d.sxy, 0);
    f->drift_sec_day = -slope * kDay_sec;
    f->margin_sec_day = 2 * sqrt(residuals / nFree / d.sxx) * kDay_sec;
    // A day a day is no drift but a broken record.
    f->fDriftKnown = fabs(f->drift_sec_day) < kDay_sec && f->margin_sec_day < kDay_sec;
}

void ConcludeEvents(const ClockDoctor& d, DoctorFindings* f)
{
    double g = f->fDriftKnown ? f->drift_sec_day / kDay_sec : 0;
    double margin = f->fDriftKnown ? f->margin_sec_day / kDay_sec : 0;
    f->nEvents = d.nEvents;
    int oldest = (d.nNextEvent - d.nEvents + DOCTOR_EVENTS) % DOCTOR_EVENTS;
    for (int i = 0; i < d.nEvents; ++i) {
        double hours = 0;
        EventLook look = LookOf(d.aEvents[(oldest + i) % DOCTOR_EVENTS], g, margin, &hours);
        f->nNormal += look == LOOK_NORMAL;
        f->nStopped += look == LOOK_STOPPED;
        f->nWholeHours += look == LOOK_WHOLE_HOURS;
        if (look == LOOK_WHOLE_HOURS) f->nHours = (int)hours;
    }
}

void CopyLine(char (&line)[DOCTOR_LINE_SIZE], const char* text)
{
    snprintf(line, sizeof line, "%s", text);
}

void FormatDrift(char (&line)[DOCTOR_LINE_SIZE], const DoctorFindings& f)
{
    double size = fabs(f.drift_sec_day);
    if (size < 0.05) {
        snprintf(line, sizeof line, "この時計のずれは1日に0.1秒未満です（±%.1f秒）", f.margin_sec_day);
        return;
    }
    snprintf(line, sizeof line, "この時計は1日に約%.1f秒%s（±%.1f秒）", size,
             f.drift_sec_day > 0 ? "進みます" : "遅れます", f.margin_sec_day);
}

}  // namespace

void DoctorTake(ClockDoctor* doctor, const JournalRecord& record)
{
    bool fReply = record.nKind == JOURNAL_REPLY;
    if (fReply && record.nOutcome == REPLY_TOO_SLOW) return;
    Break nBreak = BreakBefore(*doctor, record);
    if (nBreak != BREAK_NONE) TakeBreak(doctor, nBreak, record);
    if (fReply) TakeReply(doctor, record);
    doctor->fAnyRecord = true;
    doctor->nLastUptime_sec = record.nUptime_sec;
    bool fCorrected = fReply && record.nOutcome == REPLY_CORRECTED;
    doctor->qwLastClock = record.qwTime + (fCorrected ? (uint64_t)record.llOffset : 0);
}

// A verdict on the starts needs two events and most of them.
DoctorFindings ConcludeDoctor(const ClockDoctor& doctor)
{
    DriftTotals totals = doctor.totals;
    if (doctor.fInStretch) AddStretch(&totals, doctor.stretch);
    DoctorFindings f = {};
    ConcludeDrift(totals, &f);
    ConcludeEvents(doctor, &f);
    f.fWholeHours = f.nWholeHours >= 2 && 2 * f.nWholeHours > f.nEvents;
    f.fBattery = f.nStopped >= 2 && 2 * f.nStopped > f.nEvents;
    f.fFastDrift = f.fDriftKnown && fabs(f.drift_sec_day) > kFastDrift_sec_day;
    f.fNothingUnusual = f.fDriftKnown && 2 * f.nNormal > f.nEvents && !f.fWholeHours && !f.fBattery && !f.fFastDrift;
    return f;
}

// At most four lines: whole hours and a stopped clock each need most events,
// so they never hold together, and nothing unusual excludes the rest.
int FormatDoctorLines(const DoctorFindings& f, char (&lines)[DOCTOR_LINES][DOCTOR_LINE_SIZE])
{
    int n = 0;
    if (f.fDriftKnown) FormatDrift(lines[n++], f);
    if (f.fWholeHours) {
        snprintf(lines[n++], DOCTOR_LINE_SIZE,
                 "Windowsを起動するたびに、時計がちょうど%d時間%s。このPCのもう一つのOS（Linuxなど）が"
                 "ハードウェアの時計をUTCで合わせています。",
                 f.nHours < 0 ? -f.nHours : f.nHours, f.nHours > 0 ? "遅れています" : "進んでいます");
        CopyLine(lines[n++], "Linux側で「timedatectl set-local-rtc 1」を実行するか、Windows側でレジストリの "
                             "HKLM\\SYSTEM\\CurrentControlSet\\Control\\TimeZoneInformation に DWORD値 "
                             "RealTimeIsUniversal を 1 で作ってください。");
    }
    if (f.fBattery)
        CopyLine(lines[n++], "電源を切っている間、時計が止まっています（切っていた時間だけ遅れます）。"
                             "マザーボードの時計用の電池（CMOS電池）が切れかけています。電池を交換してください。");
    if (f.fFastDrift)
        CopyLine(lines[n++], "この時計のずれは水晶時計としては大きすぎます（1日に10秒を超えます）。"
                             "「分毎に調整を行う」の分数を小さくして、こまめに合わせてください。");
    if (f.fNothingUnusual) CopyLine(lines[n++], "起動時の時計にも、ずれ方にも、おかしなところは見つかりません。");
    if (n == (f.fDriftKnown ? 1 : 0))
        CopyLine(lines[n++], f.fDriftKnown ? "Windowsの起動後の記録がまだ足りません。"
                                           : "診断には、少なくとも1日分の記録が必要です。");
    return n;
}
