#include "sntp/server.h"

#include "log/activity_log.h"
#include "sntp/receive.h"
#include "state/program_state.h"
#include "timebase/clock.h"

namespace {

SOCKET sockServer = INVALID_SOCKET;

}  // namespace

void StartServerMode(HWND hwnd)
{
    if (sockServer != INVALID_SOCKET) StopServerMode();
    if (OpenSelectedSocket(&sockServer, NTP_PORT, hwnd, shell.msgSelectServer)) LogLine("SNTPサービス開始...");
}

void StopServerMode()
{
    if (CloseSocket(&sockServer)) LogLine("SNTPサービス終了");
}

SOCKET ServerSocket()
{
    return sockServer;
}

void OnServerRead(SOCKET sock, WORD event)
{
    if (sock != sockServer) return;  // a socket closed since: its event is stale
    ReceivedPacket received;
    if (!ReceivePacket(sock, event, &received)) return;
    if (NtpMode(&received.packet) != NTP_MODE_CLIENT) return;
    const uint8_t* abFrom = (const uint8_t*)&received.saFrom.sin_addr;
    if (!IsServableRequest(&received.packet, abFrom, ntohs(received.saFrom.sin_port))) return;
    SendServerReply(sock, received.abDatagram, received.qwArrival, &received.saFrom);
}

int SendServerReply(SOCKET sock, const uint8_t* request, NtpTimestamp qwArrival, const sockaddr_in* saTo)
{
    // Silent until synchronised, and behind a server that is itself at the
    // bottom of the strata (15: its clients would be 16, unsynchronised).
    if (!reference.fSynchronized || reference.nUpstreamStratum >= 15) return 0;
    const ServerReference ours = {reference.dwReferenceId, reference.qwReferenceTime, reference.qwRootDelay,
                                  reference.qwRootDispersion, ClockPrecision(), reference.nUpstreamStratum + 1};
    NtpPacket reply;
    BuildServerReply(request, qwArrival, &ours, &reply);
    return sendto(sock, (const char*)&reply, sizeof reply, 0, (const sockaddr*)saTo, sizeof *saTo);
}
