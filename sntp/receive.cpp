#include "sntp/receive.h"

#include <string.h>

#include "log/activity_log.h"
#include "timebase/clock.h"

bool OpenSelectedSocket(SOCKET* pSock, u_short port, HWND hwnd, UINT msg)
{
    sockaddr_in saLocal;
    memset(&saLocal, 0, sizeof saLocal);
    saLocal.sin_family = AF_INET;
    saLocal.sin_addr.s_addr = INADDR_ANY;
    saLocal.sin_port = htons(port);

    *pSock = socket(AF_INET, SOCK_DGRAM, 0);
    if (*pSock == INVALID_SOCKET) {
        LogError("socket", WSAGetLastError());
        return false;
    }
    if (bind(*pSock, (const sockaddr*)&saLocal, sizeof saLocal) == SOCKET_ERROR) {
        LogError("bind", WSAGetLastError());
        return false;
    }
    if (WSAAsyncSelect(*pSock, hwnd, msg, FD_READ | FD_WRITE) == SOCKET_ERROR) {
        LogError("WSAAsyncSelect", WSAGetLastError());
        return false;
    }
    return true;
}

bool CloseSocket(SOCKET* pSock)
{
    if (*pSock == INVALID_SOCKET) return false;
    shutdown(*pSock, 2);  // both directions
    closesocket(*pSock);
    *pSock = INVALID_SOCKET;
    return true;
}

int SendClientRequest(SOCKET sock, const sockaddr_in* saTo, NtpTimestamp t1)
{
    NtpPacket request;
    BuildClientRequest(t1, &request);
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
