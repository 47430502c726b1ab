#include <gtest/gtest.h>
#include <string.h>

#include <random>
#include <string>
#include <vector>

#include "app/shell_state.h"
#include "sntp/packet.h"
#include "sntp/server.h"
#include "sntp/windows_time.h"
#include "support/frozen_clock.h"
#include "support/log_window.h"
#include "support/test_host.h"
#include "support/loopback.h"
#include "timebase/clock.h"

namespace {

const std::string kStarted = "SNTP\x83\x54\x81\x5B\x83\x72\x83\x58\x8A\x4A\x8E\x6E...";  // SNTPサービス開始...
const std::string kEnded = "SNTP\x83\x54\x81\x5B\x83\x72\x83\x58\x8F\x49\x97\xB9";      // SNTPサービス終了

// Server mode on the real port 123, and a peer on 127.0.0.1 that asks it.
class Server : public testing::Test {
protected:
    void SetUp() override
    {
        WSADATA wsa;
        ASSERT_EQ(WSAStartup(MAKEWORD(1, 1), &wsa), 0);
        if (!PortIsFree(NTP_PORT)) GTEST_SKIP() << "UDP port 123 is taken by another program";
        CreateLogWindow();
        ResetProgramState();
        played = ClientReport();
        played.qwUncheckedLimit_ms = 3600000;
        clientForServer = PlayedReport;
        sockPeer = BoundLoopbackSocket(&saPeer);
        saServerMode.sin_family = AF_INET;
        saServerMode.sin_port = htons(NTP_PORT);
        saServerMode.sin_addr.s_addr = inet_addr("127.0.0.1");
    }

    void TearDown() override
    {
        StopServerMode();
        clientForServer = ReportClient;
        if (sockPeer != INVALID_SOCKET) closesocket(sockPeer);
        DestroyLogWindow();
        WSACleanup();
    }

    void Ask(const std::vector<uint8_t>& request)
    {
        sendto(sockPeer, (const char*)request.data(), (int)request.size(), 0, (sockaddr*)&saServerMode,
               sizeof saServerMode);
    }

    // Handles the server socket's events until none has come for a while.
    int Serve(DWORD quietMs = 300)
    {
        int events = 0;
        MSG msg;
        while (WaitForMessage(WM_TEST_SERVER, &msg, quietMs)) {
            OnServerRead((SOCKET)msg.wParam, WSAGETSELECTEVENT(msg.lParam));
            ++events;
        }
        return events;
    }

    // The peer's next datagram, or an empty one when none comes.
    std::vector<uint8_t> Answer(DWORD waitMs = 300)
    {
        fd_set readable;
        FD_ZERO(&readable);
        FD_SET(sockPeer, &readable);
        timeval tv = {0, (long)waitMs * 1000};
        if (select(0, &readable, NULL, NULL, &tv) != 1) return {};
        std::vector<uint8_t> datagram(1500);
        int length = recv(sockPeer, (char*)datagram.data(), (int)datagram.size(), 0);
        datagram.resize(length > 0 ? length : 0);
        return datagram;
    }

    std::vector<std::string> Log()
    {
        std::vector<std::string> log = ReadLog();
        if (!log.empty()) log.pop_back();
        return log;
    }

    SOCKET sockPeer = INVALID_SOCKET;
    sockaddr_in saPeer;
    sockaddr_in saServerMode = {};
};

std::vector<uint8_t> Request(uint8_t liVnMode, size_t length = 48)
{
    std::vector<uint8_t> request(length, 0);
    request[0] = liVnMode;
    request[2] = 6;     // poll
    request[3] = 0xEC;  // precision -20
    for (int i = 4; i < 12; ++i) request[i] = uint8_t(i);            // root delay and dispersion
    for (int i = 40; i < 48; ++i) request[i] = uint8_t(0xF0 + i - 40);  // transmit timestamp
    return request;
}

TEST_F(Server, StartAndStopLines)
{
    StartServerMode();
    StartServerMode();  // again while running: stops first
    StopServerMode();
    StopServerMode();  // not running: nothing
    EXPECT_EQ(Log(), (std::vector<std::string>{kStarted, kEnded, kStarted, kEnded}));
}

WindowsTime TimeServiceRunning()
{
    return {true, true};
}

WindowsTime NoTimeService()
{
    return {false, false};
}

// Another program holds the port: the log says so in words, naming the
// Windows Time service where it runs, and server mode does not run.
TEST_F(Server, PortHeldElsewhereIsSaidAndServerModeDoesNotRun)
{
    SOCKET holder = socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in sa = {};
    sa.sin_family = AF_INET;
    sa.sin_port = htons(NTP_PORT);
    ASSERT_EQ(bind(holder, (sockaddr*)&sa, sizeof sa), 0);
    const std::vector<std::string> held = {"bind エラー (10048)",
                                           "UDPポート123を別のプログラムが使っているため、SNTPサービスを開始できません"};
    const struct {
        WindowsTime (*service)();
        std::vector<std::string> extra;
    } rows[] = {
        {NoTimeService, {}},
        {TimeServiceRunning, {"ポート123を使っているのは Windows Time サービス (W32Time) のようです"}},
    };
    for (const auto& row : rows) {
        ForgetLog();
        windowsTime = row.service;
        StartServerMode();
        EXPECT_FALSE(ServerModeRunning());
        StopServerMode();  // nothing ran: nothing to say
        std::vector<std::string> expected = held;
        expected.insert(expected.end(), row.extra.begin(), row.extra.end());
        EXPECT_EQ(Log(), expected);
    }
    ForgetLog();  // Windows Time holds the port for itself alone: bind says 10013
    ExplainNotStarted(WSAEACCES);
    EXPECT_EQ(Log(), (std::vector<std::string>{held[1], rows[1].extra[0]}));
    windowsTime = QueryWindowsTime;
    closesocket(holder);
    StartServerMode();  // the next start tries again
    EXPECT_TRUE(ServerModeRunning());
    StopServerMode();
}

TEST_F(Server, SilentUntilSynchronised)
{
    StartServerMode();
    Ask(Request(0x23));
    Serve();
    EXPECT_TRUE(Answer().empty());
    std::vector<std::string> log = Log();
    ASSERT_EQ(log.size(), 3u);
    EXPECT_EQ(log[1], "length=48 addr=127.0.0.1:" + std::to_string(ntohs(saPeer.sin_port)));
    EXPECT_EQ(log[2], "LI0 VN4 MODE3 Stratum0 Poll6 Precision-20");
}

TEST_F(Server, AnswersClientRequestsOnceSynchronised)
{
    // The last accepted reply came 100 s ago: 1.5 ms of drift since.
    const NtpTimestamp qwNow = FreezeClock();
    played.reference = ReferenceState{1, qwNow - (100ull << 32), MonotonicMs(), 0x12345678, 1, 0x40000000, 0x80000000};
    StartServerMode();

    const std::vector<uint8_t> request = Request(0xDB, 68);  // LI 3, version 3, with an authenticator
    Ask(request);
    Serve();
    ThawClock();
    std::vector<uint8_t> reply = Answer();
    ASSERT_EQ(reply.size(), 48u);

    // Version 3, precision 2^-23 s (the 100 ns clock), root delay 0.25 s,
    // root dispersion 0.5 + 0.0015 s rounded up.
    const uint8_t head[16] = {0x1C, 0x02, 6, 0xE9, 0, 0, 0x40, 0, 0, 0, 0x80, 0x63, 0x12, 0x34, 0x56, 0x78};
    EXPECT_EQ(memcmp(reply.data(), head, 16), 0);
    uint8_t times[24];
    const uint64_t qwWire[3] = {NtpToNetwork(played.reference.qwReferenceTime), NtpToNetwork(qwNow), NtpToNetwork(qwNow)};
    memcpy(times, qwWire, 24);
    EXPECT_EQ(memcmp(reply.data() + 16, times, 8), 0);
    EXPECT_EQ(memcmp(reply.data() + 24, request.data() + 40, 8), 0);
    EXPECT_EQ(memcmp(reply.data() + 32, times + 8, 16), 0);

    // Only client requests of versions 1 to 4 are answered.
    for (uint8_t liVnMode : {0x24, 0x21, 0x25, 0x20, 0x03, 0x2B}) {
        Ask(Request(liVnMode));
        Serve();
        EXPECT_TRUE(Answer(100).empty()) << int(liVnMode);
    }

    // One stratum below its server; silent behind one of stratum 15.
    const struct {
        int32_t upstream;
        size_t length;
        uint8_t stratum;
    } rows[] = {{3, 48, 4}, {14, 48, 15}, {15, 0, 0}};
    for (const auto& row : rows) {
        played.reference.nUpstreamStratum = row.upstream;
        Ask(Request(0x23));
        Serve();
        reply = Answer(100);
        ASSERT_EQ(reply.size(), row.length) << row.upstream;
        if (row.length > 0) {
            EXPECT_EQ(reply[1], row.stratum);
        }
    }

    // A request that waited in the socket longer than 20 ms is not answered
    // with a receive time stale by the wait.
    played.reference.nUpstreamStratum = 1;
    Ask(Request(0x23));
    Sleep(100);
    Serve();
    EXPECT_TRUE(Answer(100).empty());
    Ask(Request(0x23));
    Serve();
    EXPECT_EQ(Answer().size(), 48u);
}

// The time is handed out only while the client keeps finding the clock
// right: on the clock that counts sleep, three poll intervals, an hour at
// least, after the last reply that did; one line when it falls silent and
// one when it answers again.
TEST_F(Server, SilentWhileTheClockGoesUnchecked)
{
    const std::string kSilent = "時刻が確かめられていないため、SNTP要求に応答しません";
    const std::string kAgain = "時刻が確かめられたため、SNTP要求への応答を再開します";
    const uint64_t kStart = 10000, kHour = 3600000;
    HoldMonotonicClock();
    qwMonotonic_ms = kStart;
    StartServerMode();
    const struct {
        uint64_t now_ms, synchronized_ms;
        int32_t fSynchronized;
        uint64_t limit_ms;  // the report's, from the interval in force
        std::vector<std::string> lines;
        bool fAnswered;
    } rows[] = {
        {kStart, kStart, 1, kHour, {}, true},  // the first synchronisation: nothing to say again
        {kStart + kHour, kStart, 1, kHour, {}, true},
        {kStart + kHour + 1, kStart, 1, kHour, {kSilent}, false},
        {kStart + kHour + 2, kStart + kHour + 2, 1, kHour, {kAgain}, true},  // a reply found it right
        {kStart + kHour + 3, kStart + kHour + 2, 0, kHour, {kSilent}, false},  // a correction refused
        {kStart + 2 * kHour, kStart + 2 * kHour, 1, kHour, {kAgain}, true},
        {kStart + 5 * kHour, kStart + 2 * kHour, 1, 3 * kHour, {}, true},  // hourly polls: three hours
        {kStart + 5 * kHour + 1, kStart + 2 * kHour, 1, 3 * kHour, {kSilent}, false},
        {kStart + 8 * kHour, kStart + 2 * kHour, 1, 6 * kHour, {kAgain}, true},  // RATE: six hours
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.now_ms - kStart);
        ForgetLog();
        qwMonotonic_ms = row.now_ms;
        played.reference.qwSynchronized_ms = row.synchronized_ms;
        played.reference.fSynchronized = row.fSynchronized;
        played.qwUncheckedLimit_ms = row.limit_ms;
        WatchServedClock();
        EXPECT_EQ(Log(), row.lines);
        Ask(Request(0x23));
        Serve();
        EXPECT_EQ(Answer(100).size(), row.fAnswered ? 48u : 0u);
    }
    ReleaseMonotonicClock();
}

// Two requests a second in full; beyond that, a line a second sums up the
// rest, and a flood is only counted until a quiet second. Each burst is read
// on its first readiness event; the later ones find nothing and say nothing.
TEST_F(Server, AFloodIsSummedUpInALineASecond)
{
    HoldMonotonicClock();
    qwMonotonic_ms = 10000;
    StartServerMode();
    const std::string sender = "length=48 addr=127.0.0.1:" + std::to_string(ntohs(saPeer.sin_port));
    const std::string header = "LI0 VN4 MODE3 Stratum0 Poll6 Precision-20";
    const struct {
        int requests;
        uint64_t then_ms;  // the clock afterwards, at the next tick
        std::vector<std::string> lines;
    } rows[] = {
        {10, 11000, {sender, header, sender, header, "SNTP\x97\x76\x8B\x81 8\x8C\x8F (\x83\x8D\x83\x4F\x8F\xC8\x97\xAA)"}},
        {3, 12000, {"SNTP\x97\x76\x8B\x81 3\x8C\x8F (\x83\x8D\x83\x4F\x8F\xC8\x97\xAA)"}},  // SNTP要求 3件 (ログ省略)
        {0, 13000, {}},
        {1, 14000, {sender, header}},
    };
    for (const auto& row : rows) {
        ForgetLog();
        for (int i = 0; i < row.requests; ++i) Ask(Request(0x23));
        Serve();
        qwMonotonic_ms = row.then_ms;
        SumUpServerRequests();
        EXPECT_EQ(Log(), row.lines) << row.then_ms;
    }
    ForgetLog();
    for (int i = 0; i < 5; ++i) Ask(Request(0x23));
    Serve();
    StopServerMode();  // the count is told before the end
    EXPECT_EQ(Log(), (std::vector<std::string>{sender, header, sender, header,
                                               "SNTP\x97\x76\x8B\x81 3\x8C\x8F (\x83\x8D\x83\x4F\x8F\xC8\x97\xAA)",
                                               kEnded}));
    ReleaseMonotonicClock();
}

TEST_F(Server, RandomDatagramsLeaveItAnswering)
{
    played.reference.fSynchronized = 1;
    played.reference.qwSynchronized_ms = MonotonicMs();
    ShowWindow(shell.MainWindow, SW_HIDE);  // as in the tray, where it spends most of its life
    StartServerMode();
    std::mt19937 random(20261207);
    std::uniform_int_distribution<int> length(0, 1500), byte(0, 255);
    for (int burst = 0; burst < 200; ++burst) {
        for (int i = 0; i < 50; ++i) {
            // Every tenth is of an accepted length, so that replies are built from noise too.
            std::vector<uint8_t> datagram(i % 10 == 0 ? 48 : length(random));
            for (uint8_t& b : datagram) b = uint8_t(byte(random));
            Ask(datagram);
        }
        Serve(20);
        while (!Answer(0).empty()) {
        }
    }
    EXPECT_LE(ReadLog().size(), 501u);
    EXPECT_EQ(ReadLog().back(), "");

    // On a loaded machine the socket's notice may come after Serve's quiet
    // 300 ms: the answer is waited for, up to six seconds.
    Ask(Request(0x23));
    std::vector<uint8_t> reply;
    for (int i = 0; i < 20 && reply.empty(); ++i) {
        Serve();
        reply = Answer();
    }
    ASSERT_EQ(reply.size(), 48u);
    EXPECT_EQ(reply[0], 0x24);
    EXPECT_EQ(reply[1], 2);

    // A flood that never lets the socket empty: what waited longer than
    // 20 ms is not answered, in the batch after either.
    for (int i = 0; i < 300; ++i) Ask(Request(0x23));
    Sleep(60);
    MSG msg;
    for (int batch = 0; batch < 2 && WaitForMessage(WM_TEST_SERVER, &msg, 300); ++batch) {
        OnServerRead((SOCKET)msg.wParam, WSAGETSELECTEVENT(msg.lParam));
    }
    EXPECT_TRUE(Answer(100).empty());
}

}  // namespace
