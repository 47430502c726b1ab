#include "sntp/client_read.h"

#include <string.h>

#include "log/log_format.h"
#include "sntp/host_calls.h"
#include "sntp/client.h"
#include "sntp/client_link.h"
#include "sntp/client_poll.h"
#include "sntp/client_state.h"
#include "sntp/evaluate.h"
#include "sntp/receive.h"
#include "sntp/request_lines.h"
#include "sntp/schedule.h"
#include "timebase/clock.h"

namespace {

// The host hears of it whole, once its judgement is taken.
void RecordReply(const Source* source, const ReplyEvaluation& e, NtpTimestamp qwArrival, ReplyOutcome nOutcome)
{
    JudgedReply reply = {{qwArrival, e.llOffset, e.qwLoopDelay, nOutcome}, source->link.szName, {}};
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

// What server mode passes on: the clock was found right, or set, at
// qwWhen; the offset left uncorrected adds to what it may be wrong by.
void KeepReference(const ReplyEvaluation& e, NtpTimestamp qwWhen, uint64_t qwUncorrected)
{
    ReferenceState& reference = client.found.reference;
    reference.fSynchronized = 1;
    reference.qwReferenceTime = qwWhen;
    reference.qwSynchronized_ms = MonotonicMs();
    reference.qwRootDelay = e.qwRootDelay;
    reference.qwRootDispersion = e.qwRootDispersion + qwUncorrected;  // at most 2^48 + 2^63
}

// Synchronised only while the clock is known to be right: within the
// tolerance, or set. A correction that failed leaves it, and server mode,
// unsynchronised until a later reply makes it right.
ReplyOutcome TakeAcceptedReply(const ReplyEvaluation& e, NtpTimestamp qwArrival)
{
    if (!e.fCorrect) {
        KeepReference(e, qwArrival, OffsetMagnitude(e.llOffset));
        return REPLY_WITHIN_TOLERANCE;
    }
    NtpTimestamp qwSetTo = CorrectClock(e.llOffset);
    if (qwSetTo == 0) {
        client.found.reference.fSynchronized = 0;
        return REPLY_NOT_CORRECTED;
    }
    KeepReference(e, qwSetTo, 0);
    return REPLY_CORRECTED;
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

bool AnswersRequest(const Source* source, const NtpPacket* reply)
{
    return source->poll.fAwaitingReply && NtpToNetwork(reply->qwOriginateTime) == source->poll.qwRequestCookie;
}

// RFC 5905 section 7.4: DENY and RSTR end the asking until the user goes
// online again; RATE doubles the interval for the rest of the session, and
// neither is tried again early.
void ObeyKiss(Source* source, const ReplyEvaluation& e)
{
    if (e.nKiss == KISS_STOP) {
        LogLineBuffer line;
        FormatLogLine(line, "サーバーに断られました(%s)。オンラインにするまで問い合わせません", e.szKissCode);
        HostLog(line);
        StopForServer(source);
    } else if (e.nKiss == KISS_RATE) {
        SlowDown(source);
    }
}

// Why a datagram is no answer to the request out ("" when its own lines
// say it), or NULL when it is one, with its judgement in *e. Anyone can
// send to the client's port, and a late or repeated reply is no measurement.
const char* WhyNoAnswer(const Source* source, ReceiveResult result, const ReceivedPacket& received,
                        ReplyEvaluation* e)
{
    if (result != RECEIVED) return "";
    if (source->link.nStatus != CLIENT_ONLINE) return "FD_READ - !connect";
    if (NtpMode(&received.packet) != NTP_MODE_SERVER) return "";
    // Family, port and address must be the server's.
    if (memcmp(&received.saFrom, &source->link.saServer, 8) != 0) return "FD_READ - server !match";
    EvaluateReply(&received.packet, source->poll.qwRequestTime, received.qwArrival,
                  client.config.qwAcceptableMaxLoopDelay, client.config.qwIgnorableMaxTimeDifference, ClockPrecision(),
                  e);
    if (AnswersRequest(source, &received.packet)) return NULL;
    return e->szRefusal != NULL ? e->aszLines[0] : "FD_READ - T1 !match";
}

// A datagram that answers nothing: its lines while a couple come a second,
// beyond that only counted, so that a forger cannot push the client's
// measurements out of the log.
void SetAside(Source* source, ReceiveResult result, const ReceivedPacket& received, const char* szWhy)
{
    bool fFull = FullLinesDue(&source->found.strayLines);
    CountRequest(&source->found.strayLines, fFull);
    if (!fFull) return;
    LogDatagram(result, &received);
    if (szWhy[0] != 0) HostLog(szWhy);
}

// A reply whose delay was accepted: a leap waits for its witness; else the
// clock is found right or set, and the poll succeeded.
void TakeMeasurement(Source* source, const ReplyEvaluation& e, NtpTimestamp qwArrival)
{
    SourceFindings& found = source->found;
    found.qwLastJudged = qwArrival;
    found.qwLastJudged_ms = MonotonicMs();
    found.llLastOffset = e.llOffset;
    LeapVerdict leap =
        WeighLeap(&found.leapWitness, e.llOffset, e.fCorrect, client.config.qwIgnorableMaxTimeDifference);
    if (leap == LEAP_AWAITED || leap == LEAP_DISPUTED) {
        HoldLeap(source, leap);
        RecordReply(source, e, qwArrival, REPLY_NOT_CORRECTED);
        return;
    }
    if (leap == LEAP_WITNESSED) HostLog("次の応答も同じ差でした");
    if (leap == LEAP_DROPPED) HostLog("次の応答では時刻が合っていました");
    ReplyOutcome nOutcome = TakeAcceptedReply(e, qwArrival);
    EndBackOff(source);
    ++client.found.nPollsSucceeded;  // the one-shot exit waits for this
    RecordReply(source, e, qwArrival, nOutcome);
}

// The source whose socket this is; NULL for a socket closed since, whose
// events are stale.
Source* SourceOfSocket(SOCKET sock)
{
    for (int i = 0; i < client.nSources; ++i) {
        if (client.aSources[i].link.sock == sock) return &client.aSources[i];
    }
    return NULL;
}

}  // namespace

void OnClientRead(SOCKET sock, WORD event)
{
    Source* source = sock != INVALID_SOCKET ? SourceOfSocket(sock) : NULL;
    if (source == NULL || (event & FD_READ) == 0) return;
    SumUpStrayDatagrams();
    ReceivedPacket received;
    ReceiveResult result = TakeDatagram(sock, &received, true);
    ReplyEvaluation e;
    const char* szWhyNot = WhyNoAnswer(source, result, received, &e);
    if (szWhyNot != NULL) {
        SetAside(source, result, received, szWhyNot);
        return;
    }
    LogDatagram(result, &received);
    for (int i = 0; i < e.nLines; ++i) HostLog(e.aszLines[i]);
    // A kiss counts only as the answer to the request out, so that no one
    // off the path can silence the client.
    if (e.szRefusal != NULL) {
        ObeyKiss(source, e);
        return;
    }
    CloseRequest(source);
    client.found.reference.dwReferenceId = e.dwReferenceId;
    client.found.reference.nUpstreamStratum = received.packet.bStratum;
    if (!e.fDelayAccepted) {  // too slow: the poll failed, and is tried again after the backoff
        RecordReply(source, e, received.qwArrival, REPLY_TOO_SLOW);
        return;
    }
    TakeMeasurement(source, e, received.qwArrival);
}

void OnClockChanged()
{
    int64_t llStep = ClockStepSinceNoted();
    // The monotonic clock reads in ticks of about 16 ms: within 100 ms is no step.
    uint64_t qwLeast = client.config.qwIgnorableMaxTimeDifference;
    if (qwLeast < MillisecondsToNtp(100)) qwLeast = MillisecondsToNtp(100);
    if (OffsetMagnitude(llStep) <= qwLeast) return;
    LogLineBuffer line;
    FormatSecondsLine(line, "時刻が外部から", OffsetMagnitude(llStep), llStep < 0 ? "秒戻されました" : "秒進められました");
    HostLog(line);
    client.found.reference.fSynchronized = 0;
    for (int i = 0; i < client.nSources; ++i) {
        if (client.aSources[i].link.nStatus == CLIENT_ONLINE) PollAtOnce(&client.aSources[i]);
    }
}

void SumUpStrayDatagrams()
{
    for (int i = 0; i < client.nSources; ++i) {
        uint32_t nCounted = TakeCountedRequests(&client.aSources[i].found.strayLines, MonotonicMs());
        if (nCounted == 0) continue;
        LogLineBuffer line;
        FormatLogLine(line, "要求に対応しない受信 %lu件 (ログ省略)", (unsigned long)nCounted);
        HostLog(line);
    }
}
