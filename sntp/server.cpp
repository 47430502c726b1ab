#include "sntp/server.h"

#include "app/state.h"
#include "log/activity_log.h"
#include "sntp/receive.h"

void StartServerMode(HWND hwnd)
{
    if (sockServer != INVALID_SOCKET) StopServerMode();

    sockaddr_in saLocal = {};
    saLocal.sin_family = AF_INET;
    saLocal.sin_addr.s_addr = INADDR_ANY;
    saLocal.sin_port = htons(NTP_PORT);

    sockServer = socket(AF_INET, SOCK_DGRAM, 0);
    if (sockServer == INVALID_SOCKET) {
        LogError("socket", WSAGetLastError());
        return;
    }
    if (bind(sockServer, (const sockaddr*)&saLocal, sizeof saLocal) == SOCKET_ERROR) {
        LogError("bind", WSAGetLastError());
        return;
    }
    if (WSAAsyncSelect(sockServer, hwnd, msgSelectServer, FD_READ | FD_WRITE) == SOCKET_ERROR) {
        LogError("WSAAsyncSelect", WSAGetLastError());
        return;
    }
    LogLine("SNTPサービス開始...");
}

void StopServerMode()
{
    if (sockServer == INVALID_SOCKET) return;
    shutdown(sockServer, 2);  // both directions
    closesocket(sockServer);
    sockServer = INVALID_SOCKET;
    LogLine("SNTPサービス終了");
}

void OnServerRead(SOCKET sock, WORD event)
{
    ReceivedPacket received;
    if (!ReceivePacket(sock, event, &received)) return;
    if (NtpMode(&received.packet) != NTP_MODE_CLIENT) return;
    SendServerReply(sock, received.abDatagram, received.qwArrival, &received.saFrom);
}

int SendServerReply(SOCKET sock, const uint8_t* request, NtpTimestamp qwArrival, const sockaddr_in* saTo)
{
    if (!fSynchronized) return 0;
    NtpPacket reply;
    BuildServerReply(request, qwArrival, dwReferenceId, qwReferenceTime, &reply);
    return sendto(sock, (const char*)&reply, sizeof reply, 0, (const sockaddr*)saTo, sizeof *saTo);
}
