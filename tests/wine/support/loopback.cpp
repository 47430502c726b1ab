#include "support/loopback.h"

#include <string.h>

#include "app/shell_state.h"
#include "support/log_window.h"

SOCKET BoundLoopbackSocket(sockaddr_in* sa, u_short port)
{
    SOCKET sock = socket(AF_INET, SOCK_DGRAM, 0);
    EXPECT_NE(sock, INVALID_SOCKET);
    memset(sa, 0, sizeof *sa);
    sa->sin_family = AF_INET;
    sa->sin_port = htons(port);
    sa->sin_addr.s_addr = inet_addr("127.0.0.1");
    EXPECT_EQ(bind(sock, (sockaddr*)sa, sizeof *sa), 0) << WSAGetLastError();
    int length = sizeof *sa;
    getsockname(sock, (sockaddr*)sa, &length);
    return sock;
}

bool PortIsFree(u_short port)
{
    SOCKET probe = socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in sa = {};
    sa.sin_family = AF_INET;
    sa.sin_port = htons(port);
    bool fFree = bind(probe, (sockaddr*)&sa, sizeof sa) == 0;
    closesocket(probe);
    return fFree;
}

void Loopback::SetUp()
{
    WSADATA wsa;
    ASSERT_EQ(WSAStartup(MAKEWORD(1, 1), &wsa), 0);
    CreateLogWindow();
    sockLocal = BoundLoopbackSocket(&saLocal);
    sockPeer = BoundLoopbackSocket(&saPeer);
    ASSERT_EQ(WSAAsyncSelect(sockLocal, shell.MainWindow, WM_TEST_SOCKET, FD_READ), 0);
}

void Loopback::TearDown()
{
    closesocket(sockLocal);
    closesocket(sockPeer);
    DestroyLogWindow();
    WSACleanup();
}

void Loopback::Send(const void* datagram, size_t length)
{
    int sent = sendto(sockPeer, (const char*)datagram, (int)length, 0, (sockaddr*)&saLocal, sizeof saLocal);
    ASSERT_EQ(sent, (int)length);
}

bool Loopback::WaitForEvent(MSG* msg)
{
    return WaitForMessage(WM_TEST_SOCKET, msg);
}

std::string Loopback::PeerLine(int length) const
{
    return "length=" + std::to_string(length) + " addr=127.0.0.1:" + std::to_string(ntohs(saPeer.sin_port));
}
