#include "sntp/server.h"

#include "log/log_format.h"
#include "sntp/host_calls.h"
#include "sntp/receive.h"
#include "sntp/request_lines.h"
#include "sntp/windows_time.h"
#include "timebase/clock.h"

ClientReport (*clientForServer)() = ReportClient;

namespace {

SOCKET sockServer = INVALID_SOCKET;
RequestLines requestLines;
bool fServing = false;     // the last look found the time checked
bool fFellSilent = false;  // it stopped answering for want of that, and said so

// A batch reads a flood at the pace it comes, and its bounds let other
// messages in between. (Measured: 64 datagrams or 2 ms answered 12,000 a
// second with none lost, these 14,000: each batch costs two selections.)
const int kBatchDatagrams = 256;
const NtpTimestamp kBatchTime = 0x0147AE14;  // 5 ms in 32.32

// Room for a burst while the window is busy elsewhere; the system may grant less.
const int kReceiveBuffer = 1 << 20;

// A request's receive time is read when it is taken off the socket, so one
// that waited behind a queue would be answered with a time stale by the
// wait: one that may have waited longer than this is dropped instead.
const DWORD kMaxWait_ms = 20;
bool fDrained = true;     // the last batch left the socket empty
DWORD dwQueuedSince = 0;  // nothing waiting now came before this (GetTickCount)

void LogCountedRequests(uint32_t nCounted)
{
    if (nCounted == 0) return;
    LogLineBuffer line;
    FormatLogLine(line, "SNTP要求 %lu件 (ログ省略)", (unsigned long)nCounted);
    HostLog(line);
}

// One datagram: read, told in the log or counted, and answered when it is a
// proper client's request. False when none was waiting or the socket failed.
bool ServeDatagram(SOCKET sock, NtpTimestamp* pqwArrival)
{
    bool fFull = FullLinesDue(&requestLines);
    ReceivedPacket received;
    ReceiveResult result = TakeDatagram(sock, &received, fFull);
    fDrained = result == RECEIVED_NOTHING;
    if (fDrained) return false;
    CountRequest(&requestLines, fFull);
    if (fFull) LogDatagram(result, &received);
    if (result == RECEIVE_FIONREAD_FAILED) return false;
    *pqwArrival = received.qwArrival;
    if (result != RECEIVED || NtpMode(&received.packet) != NTP_MODE_CLIENT) return true;
    const uint8_t* abFrom = (const uint8_t*)&received.saFrom.sin_addr;
    bool fFresh = GetTickCount() - dwQueuedSince <= kMaxWait_ms;
    if (fFresh && IsServableRequest(&received.packet, abFrom, ntohs(received.saFrom.sin_port))) {
        SendServerReply(sock, received.abDatagram, received.qwArrival, &received.saFrom);
    }
    return true;
}


}  // namespace

// Another program holds the port (10048), or holds it for itself alone
// (10013, as the Windows Time service does): said in words, and which one
// where it is that service, which holds it while it runs.
void ExplainNotStarted(int nError)
{
    if (nError != WSAEADDRINUSE && nError != WSAEACCES) {
        HostLog("SNTPサービスを開始できません");
        return;
    }
    HostLog("UDPポート123を別のプログラムが使っているため、SNTPサービスを開始できません");
    if (windowsTime().fRunning) HostLog("ポート123を使っているのは Windows Time サービス (W32Time) のようです");
}

bool ClockIsChecked(const ClientReport& report)
{
    if (!report.reference.fSynchronized) return false;
    return MonotonicMs() - report.reference.qwSynchronized_ms <= report.qwUncheckedLimit_ms;
}

bool ServerModeRunning()
{
    return sockServer != INVALID_SOCKET;
}

void StartServerMode()
{
    if (sockServer != INVALID_SOCKET) StopServerMode();
    fDrained = true;
    fServing = ClockIsChecked(clientForServer());
    fFellSilent = false;
    int nError = 0;
    if (!OpenSelectedSocket(&sockServer, NTP_PORT, ENGINE_SERVER_SOCKET, &nError)) {
        ExplainNotStarted(nError);
        CloseSocket(&sockServer);  // not running; the setting stays, and the next start tries again
        return;
    }
    setsockopt(sockServer, SOL_SOCKET, SO_RCVBUF, (const char*)&kReceiveBuffer, sizeof kReceiveBuffer);
    HostLog("SNTPサービス開始...");
}

void StopServerMode()
{
    if (sockServer == INVALID_SOCKET) return;
    uint32_t nCounted = requestLines.nCounted;  // told now, not lost with the service
    requestLines = RequestLines();
    LogCountedRequests(nCounted);
    CloseSocket(&sockServer);
    HostLog("SNTPサービス終了");
}

void OnServerRead(SOCKET sock, WORD event)
{
    if (sock != sockServer || (event & FD_READ) == 0) return;  // a socket closed since: its event is stale
    // Each read of the batch would post a readiness message of its own, and
    // each of those start a batch: no notices while it reads, and one when
    // they are back on if datagrams still wait. (FD_WRITE, which server mode
    // never needs, is not asked for again.)
    HostWatchSocket(sock, ENGINE_SERVER_SOCKET, 0);
    SumUpServerRequests();  // a batch lasts 5 ms at most: the seconds are counted batch by batch
    // Emptied by the last batch, the socket gave its notice with the first
    // datagram since; else what waits may be as old as the last time it was empty.
    if (fDrained) dwQueuedSince = (DWORD)GetMessageTime();
    NtpTimestamp qwFirst = 0, qwArrival = 0;
    for (int i = 0; i < kBatchDatagrams && ServeDatagram(sock, &qwArrival); ++i) {
        if (i == 0) qwFirst = qwArrival;
        if (qwArrival - qwFirst > kBatchTime) break;
    }
    int nError = HostWatchSocket(sock, ENGINE_SERVER_SOCKET, FD_READ);
    if (nError != 0) HostLogError("WSAAsyncSelect", nError);
}

void SumUpServerRequests()
{
    LogCountedRequests(TakeCountedRequests(&requestLines, MonotonicMs()));
}

void WatchServedClock()
{
    if (sockServer == INVALID_SOCKET) return;
    bool fChecked = ClockIsChecked(clientForServer());
    if (fChecked == fServing) return;
    fServing = fChecked;
    if (!fChecked) {
        HostLog("時刻が確かめられていないため、SNTP要求に応答しません");
        fFellSilent = true;
    } else if (fFellSilent) {
        HostLog("時刻が確かめられたため、SNTP要求への応答を再開します");
        fFellSilent = false;
    }
}

int SendServerReply(SOCKET sock, const uint8_t* request, NtpTimestamp qwArrival, const sockaddr_in* saTo)
{
    // Silent while the time is not checked, and behind a server that is itself at the
    // bottom of the strata (15: its clients would be 16, unsynchronised).
    const ClientReport report = clientForServer();
    const ReferenceState& reference = report.reference;
    if (!ClockIsChecked(report) || reference.nUpstreamStratum >= 15) return 0;
    const ServerReference ours = {reference.dwReferenceId, reference.qwReferenceTime, reference.qwRootDelay,
                                  reference.qwRootDispersion, ClockPrecision(), reference.nUpstreamStratum + 1};
    NtpPacket reply;
    BuildServerReply(request, qwArrival, &ours, &reply);
    return sendto(sock, (const char*)&reply, sizeof reply, 0, (const sockaddr*)saTo, sizeof *saTo);
}
