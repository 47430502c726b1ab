#include "sntp/client_verdict.h"

#include <string.h>

#include "log/log_format.h"
#include "sntp/agreement.h"
#include "sntp/client_poll.h"
#include "sntp/client_state.h"
#include "sntp/host_calls.h"
#include "sntp/schedule.h"
#include "timebase/clock.h"

namespace {

// A round waits no longer than this for its slowest reply.
const uint64_t kRoundWait_ms = (uint64_t)MIN_RETRY_SEC * 1000;

uint64_t Tolerance()
{
    return client.config.qwIgnorableMaxTimeDifference;
}

// The host hears of each verdict whole, as of the reply it stands on.
void RecordReply(const Source* source, NtpTimestamp qwArrival, int64_t llOffset, uint64_t qwLoopDelay,
                 ReplyOutcome nOutcome)
{
    JudgedReply reply = {{qwArrival, llOffset, qwLoopDelay, nOutcome}, source->link.szName, {}};
    memcpy(reply.abSourceAddress, &source->link.saServer.sin_addr, 4);
    HostReplyJudged(reply);
}

// Moves the clock by the offset, measured from the clock as it reads now,
// after the logging, so that the time spent since the arrival is not lost.
// The time set, or 0 when the clock could not be set.
NtpTimestamp CorrectClock(int64_t llOffset)
{
    NtpTimestamp qwNewTime = NtpNow() + (uint64_t)llOffset;
    ClockSetResult result = HostSetClock(qwNewTime);
    if (result != CLOCK_SET) {
        HostLog("時刻が設定できません");
        // The right to set the clock comes only with an elevated start.
        if (result == CLOCK_NOT_PERMITTED) {
            HostLog("管理者として実行するか、インストーラーでログオン時の起動を選んでください");
        }
        return 0;
    }
    LogLineBuffer line;
    FormatCorrectionLine(line, llOffset);
    HostLog(line);
    return qwNewTime;
}

// Every sample was measured against the clock before the step.
void TakeStepOff(int64_t llStep)
{
    for (int i = 0; i < client.nSources; ++i) {
        SourceSample& sample = client.aSources[i].sample;
        if (__builtin_sub_overflow(sample.llOffset, llStep, &sample.llOffset)) {
            sample.fHeld = 0;  // so far off that it counts for nothing now
        }
    }
}

// What server mode passes on: the clock was found right, or set, at
// qwWhen; the offset left uncorrected adds to what it may be wrong by.
void KeepReference(const SourceSample& basis, NtpTimestamp qwWhen, uint64_t qwUncorrected)
{
    ReferenceState& reference = client.found.reference;
    reference.fSynchronized = 1;
    reference.qwReferenceTime = qwWhen;
    reference.qwSynchronized_ms = MonotonicMs();
    reference.dwReferenceId = basis.dwReferenceId;
    reference.nUpstreamStratum = basis.nStratum;
    reference.qwRootDelay = basis.qwRootDelay;
    reference.qwRootDispersion = basis.qwRootDispersion + qwUncorrected;  // at most 2^48 + 2^63
}

// Synchronised only while the clock is known to be right: within the
// tolerance, or set. A correction that failed leaves it, and server mode,
// unsynchronised until a later verdict makes it right.
ReplyOutcome Settle(const SourceSample& basis, int64_t llOffset)
{
    if (OffsetMagnitude(llOffset) <= Tolerance()) {
        KeepReference(basis, basis.qwArrival, OffsetMagnitude(llOffset));
        return REPLY_WITHIN_TOLERANCE;
    }
    NtpTimestamp qwSetTo = CorrectClock(llOffset);
    if (qwSetTo == 0) {
        client.found.reference.fSynchronized = 0;
        return REPLY_NOT_CORRECTED;
    }
    TakeStepOff(llOffset);
    KeepReference(basis, qwSetTo, 0);
    return REPLY_CORRECTED;
}

// The verdict is taken: what the report and the history show of it.
void Conclude(int iBasis, NtpTimestamp qwArrival, int64_t llOffset, ReplyOutcome nOutcome, int nAgreeing)
{
    ClientFindings& found = client.found;
    found.fVerdictDue = 0;
    found.qwLastJudged = qwArrival;
    found.qwLastJudged_ms = MonotonicMs();
    found.llLastOffset = llOffset;
    found.nAgreeing = nAgreeing;
    found.iChosen = iBasis;
    for (int i = 0; i < client.nSources; ++i) client.aSources[i].sample.fNew = 0;
    const Source& basis = client.aSources[iBasis];
    RecordReply(&basis, qwArrival, llOffset, basis.sample.qwLoopDelay, nOutcome);
}

// A leap waits for its witness, or the witness disagreed: nothing is set,
// and the clock is not known right. The witness is asked for 15 s later;
// after a dispute the backoff goes on as after a failed poll.
void HoldLeap(Source* source, LeapVerdict leap)
{
    client.found.reference.fSynchronized = 0;
    if (leap == LEAP_AWAITED) {
        HostLog("差が1000秒を超えるため、次の応答で確かめます");
        AskWitness(source);
    } else {
        HostLog("次の応答と差が一致しないため、時刻を修正しません");
    }
}

// One source answered: a leap waits for its witness; else the clock is
// found right or set, and the poll succeeded.
void DecideAlone(int i)
{
    Source* source = &client.aSources[i];
    SourceSample& sample = source->sample;
    bool fCorrect = OffsetMagnitude(sample.llOffset) > Tolerance();
    LeapVerdict leap = WeighLeap(&sample.leapWitness, sample.llOffset, fCorrect, Tolerance());
    if (leap == LEAP_AWAITED || leap == LEAP_DISPUTED) {
        HoldLeap(source, leap);
        Conclude(i, sample.qwArrival, sample.llOffset, REPLY_NOT_CORRECTED, 1);
        return;
    }
    if (leap == LEAP_WITNESSED) HostLog("次の応答も同じ差でした");
    if (leap == LEAP_DROPPED) HostLog("次の応答では時刻が合っていました");
    int64_t llOffset = sample.llOffset;  // a step takes itself off the sample
    ReplyOutcome nOutcome = Settle(sample, llOffset);
    EndBackOff(source);
    ++client.found.nPollsSucceeded;  // the one-shot exit waits for this
    Conclude(i, sample.qwArrival, llOffset, nOutcome, 1);
}

// "ntp.example (192.0.2.1)", or the address alone when it is the name.
void FormatSourceName(LogLineBuffer& line, const Source& source, const char* szWhat)
{
    const char* szAddress = inet_ntoa(source.link.saServer.sin_addr);
    if (strcmp(source.link.szName, szAddress) == 0) {
        FormatLogLine(line, "%s %s", szAddress, szWhat);
    } else {
        FormatLogLine(line, "%s (%s) %s", source.link.szName, szAddress, szWhat);
    }
}

// Each source outside the group is named when it falls out, not at every verdict.
void NameOutsiders(const int* aiCounted, int n, uint32_t dwGroup)
{
    for (int k = 0; k < n; ++k) {
        Source& source = client.aSources[aiCounted[k]];
        bool fOutside = (dwGroup & (1u << k)) == 0;
        if (fOutside && !source.sample.fOutsider) {
            LogLineBuffer line;
            FormatSourceName(line, source, "は他のサーバーと一致しません");
            HostLog(line);
        }
        source.sample.fOutsider = fOutside ? 1 : 0;
    }
}

// The group's member nearest the primary reference: least root distance.
int Steadiest(const int* aiCounted, int n, uint32_t dwGroup)
{
    int iBest = -1;
    uint64_t qwBest = 0;
    for (int k = 0; k < n; ++k) {
        if ((dwGroup & (1u << k)) == 0) continue;
        const SourceSample& sample = client.aSources[aiCounted[k]].sample;
        uint64_t qwDistance = sample.qwRootDelay / 2 + sample.qwRootDispersion;
        if (iBest < 0 || qwDistance < qwBest) {
            iBest = aiCounted[k];
            qwBest = qwDistance;
        }
    }
    return iBest;
}

// The newest of the samples weighed.
int Newest(const int* aiCounted, int n)
{
    int iNewest = aiCounted[0];
    for (int k = 1; k < n; ++k) {
        if (client.aSources[aiCounted[k]].sample.qwArrival > client.aSources[iNewest].sample.qwArrival) {
            iNewest = aiCounted[k];
        }
    }
    return iNewest;
}

// Several sources answered: the largest group that agrees decides, a leap
// at once, for the sources witness each other.
void DecideTogether(const int* aiCounted, int n)
{
    SourceOffset offsets[MAX_SOURCES];
    for (int k = 0; k < n; ++k) {
        Source* source = &client.aSources[aiCounted[k]];
        offsets[k] = {source->sample.llOffset, source->sample.qwLoopDelay, source->sample.qwRootDispersion};
        if (source->sample.fNew) EndBackOff(source);
        source->sample.leapWitness = LeapWitness();
    }
    Agreement agreement = FindAgreement(offsets, n, Tolerance());
    int iNewest = Newest(aiCounted, n);
    NtpTimestamp qwArrival = client.aSources[iNewest].sample.qwArrival;
    if (agreement.nAgreeing == 0) {
        HostLog("サーバー同士が一致しないため、時刻を修正しません");
        client.found.reference.fSynchronized = 0;
        Conclude(iNewest, qwArrival, client.aSources[iNewest].sample.llOffset, REPLY_NOT_CORRECTED, 0);
        return;
    }
    NameOutsiders(aiCounted, n, agreement.dwGroup);
    int iBasis = Steadiest(aiCounted, n, agreement.dwGroup);
    ReplyOutcome nOutcome = Settle(client.aSources[iBasis].sample, agreement.llOffset);
    ++client.found.nPollsSucceeded;
    Conclude(iBasis, qwArrival, agreement.llOffset, nOutcome, agreement.nAgreeing);
}

uint64_t ReplyWait_ms()
{
    return (client.config.qwAcceptableMaxLoopDelay >> 32) * 1000 + 1000;
}

// The source's last request is out and may still be answered.
bool ReplyExpected(const Source& source, uint64_t qwNow_ms)
{
    return source.poll.fAwaitingReply && qwNow_ms - source.poll.qwLastPoll_ms < ReplyWait_ms();
}

// Whether the source's sample is its last poll's.
bool Counts(const Source& source, uint64_t qwNow_ms)
{
    if (!source.sample.fHeld || source.link.nStatus != CLIENT_ONLINE) return false;
    return !source.poll.fAwaitingReply || ReplyExpected(source, qwNow_ms);
}

// A source on its way to a reply: looking its server up, about to poll, or
// with a request out.
bool Awaited(const Source& source, uint64_t qwNow_ms)
{
    if (source.link.nStatus == CLIENT_RESOLVING) return true;
    return source.link.nStatus == CLIENT_ONLINE && (source.poll.fPollNow || ReplyExpected(source, qwNow_ms));
}

void Decide(uint64_t qwNow_ms)
{
    int aiCounted[MAX_SOURCES];
    int n = 0;
    bool fAnyNew = false;
    for (int i = 0; i < client.nSources; ++i) {
        if (!Counts(client.aSources[i], qwNow_ms)) continue;
        aiCounted[n++] = i;
        fAnyNew = fAnyNew || client.aSources[i].sample.fNew;
    }
    client.found.fVerdictDue = 0;
    if (!fAnyNew) return;
    if (n == 1) {
        DecideAlone(aiCounted[0]);
    } else {
        DecideTogether(aiCounted, n);
    }
}

}  // namespace

void TakeSample(Source* source, const ReplyEvaluation& e, NtpTimestamp qwArrival, int nStratum)
{
    SourceSample& sample = source->sample;
    sample.fHeld = 1;
    sample.fNew = 1;
    sample.qwArrival = qwArrival;
    sample.llOffset = e.llOffset;
    sample.qwLoopDelay = e.qwLoopDelay;
    sample.qwRootDelay = e.qwRootDelay;
    sample.qwRootDispersion = e.qwRootDispersion;
    sample.dwReferenceId = e.dwReferenceId;
    sample.nStratum = nStratum;
    if (!client.found.fVerdictDue) {
        client.found.fVerdictDue = 1;
        client.found.qwVerdictDue_ms = MonotonicMs();
    }
    DecideWhenDue();
}

void NoteAnswer(const Source* source, const ReplyEvaluation& e, int nStratum)
{
    if (source != &client.aSources[client.found.iChosen]) return;
    client.found.reference.dwReferenceId = e.dwReferenceId;
    client.found.reference.nUpstreamStratum = nStratum;
}

void TakeTooSlow(Source* source, const ReplyEvaluation& e, NtpTimestamp qwArrival)
{
    RecordReply(source, qwArrival, e.llOffset, e.qwLoopDelay, REPLY_TOO_SLOW);
    DropSample(source);
}

void DropSample(Source* source)
{
    source->sample.fHeld = 0;
    source->sample.fNew = 0;
}

void ForgetSamples()
{
    for (int i = 0; i < client.nSources; ++i) DropSample(&client.aSources[i]);
}

void DecideWhenDue()
{
    if (!client.found.fVerdictDue) return;
    uint64_t now = MonotonicMs();
    bool fWaiting = false;
    for (int i = 0; i < client.nSources; ++i) fWaiting = fWaiting || Awaited(client.aSources[i], now);
    if (fWaiting && now - client.found.qwVerdictDue_ms < kRoundWait_ms) return;
    Decide(now);
}
