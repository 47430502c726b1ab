#include "sntp/client_read.h"

#include <string.h>

#include "log/activity_log.h"
#include "sntp/client.h"
#include "sntp/evaluate.h"
#include "sntp/receive.h"
#include "state/program_state.h"
#include "timebase/clock.h"

namespace {

void (*pfnShowJudgedReply)() = NULL;

void RecordReply(const ReplyEvaluation& e, NtpTimestamp qwArrival, ReplyOutcome nOutcome)
{
    HistoryPoint point = {qwArrival, e.llOffset, e.qwLoopDelay, nOutcome};
    AppendHistory(&replyHistory, point);
    if (pfnShowJudgedReply != NULL) pfnShowJudgedReply();
}

// Moves the clock by the offset, measured from the clock as it reads now,
// after the logging, so that the time spent since the arrival is not lost.
// The time set, or 0 when the clock could not be set.
NtpTimestamp CorrectClock(int64_t llOffset)
{
    NtpTimestamp qwNewTime = NtpNow() + (uint64_t)llOffset;
    ClockSetResult result = SetClockFromNtp(qwNewTime);
    if (result != CLOCK_SET) {
        LogLine("時刻が設定できません");
        // The right to set the clock comes only with an elevated start.
        if (result == CLOCK_NOT_PERMITTED) {
            LogLine("管理者として実行するか、インストーラーでログオン時の起動を選んでください");
        }
        return 0;
    }
    LogLineBuffer line;
    FormatCorrectionLine(line, llOffset);
    LogLine(line);
    return qwNewTime;
}

// What server mode passes on: the clock was found right, or set, at
// qwWhen; the offset left uncorrected adds to what it may be wrong by.
void KeepReference(const ReplyEvaluation& e, NtpTimestamp qwWhen, uint64_t qwUncorrected)
{
    reference.fSynchronized = 1;
    reference.qwReferenceTime = qwWhen;
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
        reference.fSynchronized = 0;
        return REPLY_NOT_CORRECTED;
    }
    KeepReference(e, qwSetTo, 0);
    return REPLY_CORRECTED;
}

bool AnswersRequest(const NtpPacket* reply)
{
    return client.fAwaitingReply && NtpToNetwork(reply->qwOriginateTime) == client.qwRequestCookie;
}

// RFC 5905 section 7.4: DENY and RSTR end the asking until the user goes
// online again; RATE doubles the interval for the rest of the session, and
// neither is tried again early.
void ObeyKiss(const ReplyEvaluation& e)
{
    if (e.nKiss == KISS_STOP) {
        LogLineBuffer line;
        FormatLogLine(line, "サーバーに断られました(%s)。オンラインにするまで問い合わせません", e.szKissCode);
        LogLine(line);
        StopClient(false);
    } else if (e.nKiss == KISS_RATE) {
        ++client.nRateShift;
        client.nRetry_sec = 0;
        client.fAwaitingReply = 0;
    }
}

}  // namespace

ReplyHistory replyHistory;

void SetJudgedReplyView(void (*pfnShow)())
{
    pfnShowJudgedReply = pfnShow;
}

void OnClientRead(SOCKET sock, WORD event)
{
    if (sock != client.sockClient) return;  // a socket closed since: its event is stale
    ReceivedPacket received;
    if (!ReceivePacket(sock, event, &received)) return;
    if (client.nStatus != CLIENT_ONLINE) {
        LogLine("FD_READ - !connect");
        return;
    }
    if (NtpMode(&received.packet) != NTP_MODE_SERVER) return;
    // Family, port and address must be the server's.
    if (memcmp(&received.saFrom, &client.saServer, 8) != 0) {
        LogLine("FD_READ - server !match");
        return;
    }

    ReplyEvaluation e;
    EvaluateReply(&received.packet, client.qwRequestTime, received.qwArrival, settings.qwAcceptableMaxLoopDelay,
                  settings.qwIgnorableMaxTimeDifference, ClockPrecision(), &e);
    // Only the first reply to the request out is judged: anyone can send from
    // the server's address, and a late or repeated reply is no measurement.
    if (e.szRefusal == NULL && !AnswersRequest(&received.packet)) {
        LogLine("FD_READ - T1 !match");
        return;
    }
    for (int i = 0; i < e.nLines; ++i) LogLine(e.aszLines[i]);
    if (e.szRefusal != NULL) {
        // A kiss counts only as the answer to the request out, so that no
        // one off the path can silence the client.
        if (AnswersRequest(&received.packet)) ObeyKiss(e);
        return;
    }
    client.fAwaitingReply = 0;
    reference.dwReferenceId = e.dwReferenceId;
    reference.nUpstreamStratum = received.packet.bStratum;
    if (!e.fDelayAccepted) {  // too slow: the poll failed, and is tried again after the backoff
        RecordReply(e, received.qwArrival, REPLY_TOO_SLOW);
        return;
    }

    client.qwLastJudged = received.qwArrival;
    client.qwLastJudged_ms = MonotonicMs();
    client.llLastOffset = e.llOffset;
    ReplyOutcome nOutcome = TakeAcceptedReply(e, received.qwArrival);
    client.nRetry_sec = 0;
    RecordReply(e, received.qwArrival, nOutcome);
    // Synchronise once and quit: only after a measurement that counted.
    if (!settings.fStayAfterAdjustment) {
        client.fExitCountdown = 1;
        client.nExitCount = 0;
    }
}
