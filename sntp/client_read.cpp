#include "sntp/client_read.h"

#include <string.h>

#include "log/log_format.h"
#include "sntp/host_calls.h"
#include "sntp/client.h"
#include "sntp/client_link.h"
#include "sntp/client_poll.h"
#include "sntp/client_state.h"
#include "sntp/client_verdict.h"
#include "sntp/evaluate.h"
#include "sntp/receive.h"
#include "sntp/request_lines.h"
#include "sntp/schedule.h"
#include "timebase/clock.h"

namespace {

bool AnswersRequest(const Source* source, const NtpPacket* reply)
{
    return source->poll.fAwaitingReply && NtpToNetwork(reply->qwOriginateTime) == source->poll.qwRequestCookie;
}

// RFC 5905 section 7.4: DENY and RSTR end the asking of that source until
// the user goes online again; RATE doubles its interval for the rest of the
// session, and neither is tried again early.
void ObeyKiss(Source* source, const ReplyEvaluation& e)
{
    DropSample(source);
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
    NoteAnswer(source, e, received.packet.bStratum);
    if (!e.fDelayAccepted) {  // too slow: the poll failed, and is tried again after the backoff
        TakeTooSlow(source, e, received.qwArrival);
        return;
    }
    TakeSample(source, e, received.qwArrival, received.packet.bStratum);
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
    ForgetSamples();
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
