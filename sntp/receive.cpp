#include "sntp/receive.h"

#include <string.h>

#include "log/log_format.h"
#include "sntp/host_calls.h"
#include "timebase/clock.h"

bool OpenSelectedSocket(SOCKET* pSock, u_short port, EngineSocket role, int* pnError)
{
    int nError = 0;
    if (pnError == NULL) pnError = &nError;
    sockaddr_in saLocal;
    memset(&saLocal, 0, sizeof saLocal);
    saLocal.sin_family = AF_INET;
    saLocal.sin_addr.s_addr = INADDR_ANY;
    saLocal.sin_port = htons(port);

    *pSock = socket(AF_INET, SOCK_DGRAM, 0);
    if (*pSock == INVALID_SOCKET) {
        HostLogError("socket", *pnError = WSAGetLastError());
        return false;
    }
    if (bind(*pSock, (const sockaddr*)&saLocal, sizeof saLocal) == SOCKET_ERROR) {
        HostLogError("bind", *pnError = WSAGetLastError());
        return false;
    }
    *pnError = HostWatchSocket(*pSock, role, FD_READ | FD_WRITE);
    if (*pnError != 0) {
        HostLogError("WSAAsyncSelect", *pnError);
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

ReceiveResult TakeDatagram(SOCKET sock, ReceivedPacket* received, bool fMeasure)
{
    u_long nWaiting = 0;
    if (fMeasure && ioctlsocket(sock, FIONREAD, &nWaiting) == SOCKET_ERROR) return RECEIVE_FIONREAD_FAILED;

    // The whole buffer, whatever FIONREAD said: a longer datagram then fails
    // the receive instead of overrunning it, and one that came after FIONREAD
    // found none is read, not cut to nothing and lost.
    memset(&received->saFrom, 0, sizeof received->saFrom);
    int nFromLength = sizeof received->saFrom;
    int nBytes = recvfrom(sock, (char*)received->abDatagram, (int)sizeof received->abDatagram, 0,
                          (sockaddr*)&received->saFrom, &nFromLength);
    received->qwArrival = NtpNow();  // T4, before anything else can delay it
    received->nWaiting = (int)nWaiting;

    if (nBytes == SOCKET_ERROR) return WSAGetLastError() == WSAEWOULDBLOCK ? RECEIVED_NOTHING : RECEIVE_RECVFROM_FAILED;
    received->nLength = nBytes;
    if (!IsAcceptedLength(nBytes)) return RECEIVED_WRONG_LENGTH;
    DecodePacket(received->abDatagram, &received->packet);
    return RECEIVED;
}

void LogDatagram(ReceiveResult result, const ReceivedPacket* received)
{
    switch (result) {
    case RECEIVE_FIONREAD_FAILED:
        HostLog("FD_READ - ioctlsocket(FIONREAD)");
        return;
    case RECEIVED_NOTHING:
    case RECEIVE_RECVFROM_FAILED:
        HostLog("FD_READ - recvfrom()");
        return;
    case RECEIVED_WRONG_LENGTH:
        // A longer one keeps the line of the receive that could not take it,
        // from before the buffer had room for extension fields.
        HostLog(received->nLength > NTP_PACKET_WITH_AUTHENTICATOR_SIZE ? "FD_READ - recvfrom()"
                                                                        : "FD_READ - recv nBytes !match");
        return;
    case RECEIVED:
        break;
    }
    LogLineBuffer line;
    FormatSenderLine(line, received->nWaiting, (const uint8_t*)&received->saFrom.sin_addr,
                     ntohs(received->saFrom.sin_port));
    HostLog(line);
    FormatHeaderLine(line, &received->packet);
    HostLog(line);
}

bool ReceivePacket(SOCKET sock, WORD event, ReceivedPacket* received)
{
    if ((event & FD_READ) == 0) return false;
    ReceiveResult result = TakeDatagram(sock, received, true);
    LogDatagram(result, received);
    return result == RECEIVED;
}
