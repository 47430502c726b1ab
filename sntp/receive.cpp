#include "sntp/receive.h"

#include <string.h>

#include "log/activity_log.h"
#include "timebase/clock.h"

int SendClientRequest(SOCKET sock, const sockaddr_in* saTo)
{
    NtpPacket request;
    BuildClientRequest(NtpNow(), &request);
    return sendto(sock, (const char*)&request, sizeof request, 0, (const sockaddr*)saTo, sizeof *saTo);
}

bool ReceivePacket(SOCKET sock, WORD event, ReceivedPacket* received)
{
    if ((event & FD_READ) == 0) return false;

    u_long nWaiting = 0;
    if (ioctlsocket(sock, FIONREAD, &nWaiting) == SOCKET_ERROR) {
        LogLine("FD_READ - ioctlsocket(FIONREAD)");
        return false;
    }

    // Never ask for more than the buffer holds: a longer datagram then fails
    // the receive instead of overrunning it.
    const u_long nBuffer = sizeof received->abDatagram;
    int nAsked = (int)(nWaiting < nBuffer ? nWaiting : nBuffer);
    memset(&received->saFrom, 0, sizeof received->saFrom);
    int nFromLength = sizeof received->saFrom;
    int nBytes = recvfrom(sock, (char*)received->abDatagram, nAsked, 0, (sockaddr*)&received->saFrom, &nFromLength);
    received->qwArrival = NtpNow();  // T4, before anything else can delay it

    if (nBytes == SOCKET_ERROR) {
        LogLine("FD_READ - recvfrom()");
        return false;
    }
    if (!IsAcceptedLength(nBytes)) {
        LogLine("FD_READ - recv nBytes !match");
        return false;
    }
    received->nLength = nBytes;
    DecodePacket(received->abDatagram, &received->packet);

    LogLineBuffer line;
    FormatSenderLine(line, (int)nWaiting, (const uint8_t*)&received->saFrom.sin_addr, ntohs(received->saFrom.sin_port));
    LogLine(line);
    FormatHeaderLine(line, &received->packet);
    LogLine(line);
    return true;
}
