#include <gtest/gtest.h>
#include <string.h>

#include <string>
#include <vector>

#include "app/shell_state.h"
#include "sntp/receive.h"
#include "support/log_window.h"
#include "support/loopback.h"
#include "timebase/clock.h"

namespace {

class Receive : public Loopback {
protected:
    // Waits for the program socket's next event and runs the receive step on it.
    bool ReceiveNext(ReceivedPacket* received)
    {
        MSG msg = {};
        if (!WaitForEvent(&msg)) {
            ADD_FAILURE() << "no socket event";
            return false;
        }
        return ReceivePacket((SOCKET)msg.wParam, WSAGETSELECTEVENT(msg.lParam), received);
    }
};

std::vector<uint8_t> Datagram(size_t length)
{
    std::vector<uint8_t> datagram(length);
    for (size_t i = 0; i < length; ++i) datagram[i] = uint8_t(0x30 + i);
    const uint8_t head[4] = {0x24, 0x02, 0x06, 0xFA};
    memcpy(datagram.data(), head, length < 4 ? length : 4);
    return datagram;
}

// The log's last text line, above the empty entry.
std::string LastLine()
{
    std::vector<std::string> log = ReadLog();
    return log.size() >= 2 ? log[log.size() - 2] : "";
}

TEST_F(Receive, EveryDatagramLengthGetsItsLineAndStaysInTheBuffer)
{
    struct Fenced {
        ReceivedPacket received;
        uint8_t guard[1600];
    };
    static Fenced fenced;
    for (size_t length = 0; length <= 1500; ++length) {
        SCOPED_TRACE(length);
        memset(&fenced, 0xEE, sizeof fenced);
        Send(Datagram(length));
        NtpTimestamp before = NtpNow();
        bool accepted = ReceiveNext(&fenced.received);
        NtpTimestamp after = NtpNow();

        for (uint8_t b : fenced.guard) ASSERT_EQ(b, 0xEE);
        if (length == 48 || length == 68) {
            ASSERT_TRUE(accepted);
            std::vector<std::string> log = ReadLog();
            ASSERT_GE(log.size(), 3u);
            EXPECT_EQ(log[log.size() - 3], PeerLine((int)length));
            EXPECT_EQ(log[log.size() - 2], "LI0 VN4 MODE4 Stratum2 Poll6 Precision-6");
            EXPECT_EQ(fenced.received.nLength, (int)length);
            EXPECT_EQ(memcmp(&fenced.received.packet, Datagram(length).data(), 48), 0);
            EXPECT_EQ(fenced.received.saFrom.sin_port, saPeer.sin_port);
            EXPECT_EQ(fenced.received.saFrom.sin_addr.s_addr, inet_addr("127.0.0.1"));
            EXPECT_GE(fenced.received.qwArrival, before);
            EXPECT_LE(fenced.received.qwArrival, after);
        } else {
            ASSERT_FALSE(accepted);
            EXPECT_EQ(LastLine(), length > 68 ? "FD_READ - recvfrom()" : "FD_READ - recv nBytes !match");
        }
    }
}

TEST_F(Receive, OneEventReadsOneDatagram)
{
    Send(Datagram(48));
    Send(Datagram(68));
    ReceivedPacket received;
    ASSERT_TRUE(ReceiveNext(&received));
    EXPECT_EQ(received.nLength, 48);
    ASSERT_TRUE(ReceiveNext(&received));
    EXPECT_EQ(received.nLength, 68);
    // The waiting count is that of the datagram read, not of all that wait.
    std::vector<std::string> log = ReadLog();
    EXPECT_EQ(log, (std::vector<std::string>{PeerLine(48), "LI0 VN4 MODE4 Stratum2 Poll6 Precision-6",
                                             PeerLine(68), "LI0 VN4 MODE4 Stratum2 Poll6 Precision-6", ""}));
}

TEST_F(Receive, WriteEventsAndFailedCallsAreReported)
{
    ReceivedPacket received;
    // A write event reads nothing and writes nothing, also the one that
    // follows the selection of FD_WRITE at once.
    ASSERT_EQ(WSAAsyncSelect(sockLocal, shell.MainWindow, WM_TEST_SOCKET, FD_READ | FD_WRITE), 0);
    MSG msg;
    ASSERT_TRUE(WaitForEvent(&msg));
    EXPECT_EQ(WSAGETSELECTEVENT(msg.lParam), FD_WRITE);
    EXPECT_FALSE(ReceivePacket((SOCKET)msg.wParam, WSAGETSELECTEVENT(msg.lParam), &received));
    EXPECT_TRUE(ReadLog().empty());

    // Nothing waiting: the receive fails.
    EXPECT_FALSE(ReceivePacket(sockLocal, FD_READ, &received));
    EXPECT_EQ(LastLine(), "FD_READ - recvfrom()");

    // No socket at all: the waiting count cannot be asked for.
    SOCKET sockClosed = socket(AF_INET, SOCK_DGRAM, 0);
    closesocket(sockClosed);
    EXPECT_FALSE(ReceivePacket(sockClosed, FD_READ, &received));
    EXPECT_EQ(LastLine(), "FD_READ - ioctlsocket(FIONREAD)");
    EXPECT_EQ(ReadLog().size(), 3u);
}

TEST_F(Receive, ClientRequestLeavesAsFortyEightStampedBytes)
{
    ASSERT_EQ(SendClientRequest(sockPeer, &saLocal, 0xEEC0758012345678ull), 48);

    MSG msg;
    ASSERT_TRUE(WaitForEvent(&msg));
    uint8_t datagram[100];
    int length = recv(sockLocal, (char*)datagram, sizeof datagram, 0);
    ASSERT_EQ(length, 48);
    EXPECT_EQ(datagram[0], 0x23);
    for (int i = 1; i < 40; ++i) EXPECT_EQ(datagram[i], 0) << i;
    NtpTimestamp transmit = 0;
    for (int i = 40; i < 48; ++i) transmit = (transmit << 8) | datagram[i];
    EXPECT_EQ(transmit, 0xEEC0758012345678ull);

    SOCKET sockClosed = socket(AF_INET, SOCK_DGRAM, 0);
    closesocket(sockClosed);
    EXPECT_EQ(SendClientRequest(sockClosed, &saLocal, 1), SOCKET_ERROR);
    EXPECT_TRUE(ReadLog().empty());
}

}  // namespace
