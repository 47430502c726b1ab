#include <gtest/gtest.h>
#include <string.h>

#include <string>
#include <vector>

#include "app/state.h"
#include "sntp/receive.h"
#include "support/log_window.h"
#include "timebase/clock.h"

namespace {

const UINT WM_TEST_SOCKET = WM_APP + 0x40;

// A UDP socket on 127.0.0.1 whose events reach the log window, and a second
// socket that sends datagrams to it.
class Receive : public testing::Test {
protected:
    void SetUp() override
    {
        WSADATA wsa;
        ASSERT_EQ(WSAStartup(MAKEWORD(1, 1), &wsa), 0);
        CreateLogWindow();
        sockReceiver = BoundSocket(&saReceiver);
        sockSender = BoundSocket(&saSender);
        ASSERT_EQ(WSAAsyncSelect(sockReceiver, MainWindow, WM_TEST_SOCKET, FD_READ), 0);
    }

    void TearDown() override
    {
        closesocket(sockReceiver);
        closesocket(sockSender);
        DestroyLogWindow();
        WSACleanup();
    }

    static SOCKET BoundSocket(sockaddr_in* sa)
    {
        SOCKET sock = socket(AF_INET, SOCK_DGRAM, 0);
        EXPECT_NE(sock, INVALID_SOCKET);
        memset(sa, 0, sizeof *sa);
        sa->sin_family = AF_INET;
        sa->sin_addr.s_addr = inet_addr("127.0.0.1");
        EXPECT_EQ(bind(sock, (sockaddr*)sa, sizeof *sa), 0);
        int length = sizeof *sa;
        getsockname(sock, (sockaddr*)sa, &length);
        return sock;
    }

    void Send(const std::vector<uint8_t>& datagram)
    {
        int sent = sendto(sockSender, (const char*)datagram.data(), (int)datagram.size(), 0, (sockaddr*)&saReceiver,
                          sizeof saReceiver);
        ASSERT_EQ(sent, (int)datagram.size());
    }

    // Waits for the receiver's next event and runs the receive step on it.
    bool ReceiveNext(ReceivedPacket* received)
    {
        MSG msg = {};
        if (!WaitForMessage(WM_TEST_SOCKET, &msg)) {
            ADD_FAILURE() << "no socket event";
            return false;
        }
        return ReceivePacket((SOCKET)msg.wParam, WSAGETSELECTEVENT(msg.lParam), received);
    }

    std::string SenderLine(int length) const
    {
        return "length=" + std::to_string(length) + " addr=127.0.0.1:" + std::to_string(ntohs(saSender.sin_port));
    }

    SOCKET sockReceiver = INVALID_SOCKET;
    SOCKET sockSender = INVALID_SOCKET;
    sockaddr_in saReceiver;
    sockaddr_in saSender;
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
            EXPECT_EQ(log[log.size() - 3], SenderLine((int)length));
            EXPECT_EQ(log[log.size() - 2], "LI0 VN4 MODE4 Stratum2 Poll6 Precision-6");
            EXPECT_EQ(fenced.received.nLength, (int)length);
            EXPECT_EQ(memcmp(&fenced.received.packet, Datagram(length).data(), 48), 0);
            EXPECT_EQ(fenced.received.saFrom.sin_port, saSender.sin_port);
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
    EXPECT_EQ(log, (std::vector<std::string>{SenderLine(48), "LI0 VN4 MODE4 Stratum2 Poll6 Precision-6",
                                             SenderLine(68), "LI0 VN4 MODE4 Stratum2 Poll6 Precision-6", ""}));
}

TEST_F(Receive, WriteEventsAndFailedCallsAreReported)
{
    ReceivedPacket received;
    // A write event reads nothing and writes nothing, also the one that
    // follows the selection of FD_WRITE at once.
    ASSERT_EQ(WSAAsyncSelect(sockReceiver, MainWindow, WM_TEST_SOCKET, FD_READ | FD_WRITE), 0);
    MSG msg;
    ASSERT_TRUE(WaitForMessage(WM_TEST_SOCKET, &msg));
    EXPECT_EQ(WSAGETSELECTEVENT(msg.lParam), FD_WRITE);
    EXPECT_FALSE(ReceivePacket((SOCKET)msg.wParam, WSAGETSELECTEVENT(msg.lParam), &received));
    EXPECT_TRUE(ReadLog().empty());

    // Nothing waiting: the receive fails.
    EXPECT_FALSE(ReceivePacket(sockReceiver, FD_READ, &received));
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
    NtpTimestamp before = NtpNow();
    ASSERT_EQ(SendClientRequest(sockSender, &saReceiver), 48);
    NtpTimestamp after = NtpNow();

    MSG msg;
    ASSERT_TRUE(WaitForMessage(WM_TEST_SOCKET, &msg));
    uint8_t datagram[100];
    int length = recv(sockReceiver, (char*)datagram, sizeof datagram, 0);
    ASSERT_EQ(length, 48);
    EXPECT_EQ(datagram[0], 0x23);
    for (int i = 1; i < 40; ++i) EXPECT_EQ(datagram[i], 0) << i;
    NtpTimestamp transmit = 0;
    for (int i = 40; i < 48; ++i) transmit = (transmit << 8) | datagram[i];
    EXPECT_GE(transmit, before);
    EXPECT_LE(transmit, after);

    SOCKET sockClosed = socket(AF_INET, SOCK_DGRAM, 0);
    closesocket(sockClosed);
    EXPECT_EQ(SendClientRequest(sockClosed, &saReceiver), SOCKET_ERROR);
    EXPECT_TRUE(ReadLog().empty());
}

}  // namespace
