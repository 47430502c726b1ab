// Two UDP sockets on 127.0.0.1 for tests: the program's socket, whose events
// reach the log window as WM_TEST_SOCKET, and a peer that talks to it.
#pragma once

#include <gtest/gtest.h>
#include <windows.h>
#include <winsock.h>

#include <string>
#include <vector>

const UINT WM_TEST_SOCKET = WM_APP + 0x40;

// A UDP socket bound to 127.0.0.1 (port 0: one the system chooses), its
// address with the port filled in.
SOCKET BoundLoopbackSocket(sockaddr_in* sa, u_short port = 0);

// Whether a UDP port of every local address can be bound now.
bool PortIsFree(u_short port);

// The log window, Windows Sockets 1.1, and the socket pair.
class Loopback : public testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Sends from the peer to the program's socket.
    void Send(const void* datagram, size_t length);
    void Send(const std::vector<uint8_t>& datagram) { Send(datagram.data(), datagram.size()); }

    // Waits for the program socket's next event; false after five seconds.
    bool WaitForEvent(MSG* msg);

    // "length=%d addr=127.0.0.1:<peer's port>"
    std::string PeerLine(int length) const;

    SOCKET sockLocal = INVALID_SOCKET;
    SOCKET sockPeer = INVALID_SOCKET;
    sockaddr_in saLocal;
    sockaddr_in saPeer;
};
