#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <iterator>
#include <stdlib.h>
#include <string.h>

#include <string>
#include <vector>

#include "app/exit_countdown.h"
#include "app/shell_state.h"
#include "resources/resource.h"
#include "sntp/client.h"
#include "sntp/evaluate.h"
#include "sntp/network_probe.h"
#include "sntp/packet.h"
#include "sntp/server.h"
#include "support/frozen_clock.h"
#include "support/log_window.h"
#include "support/loopback.h"
#include "support/main_dialog.h"
#include "support/test_host.h"
#include "timebase/clock.h"

namespace {

NetworkState networkNow = NETWORK_UNKNOWN;  // the probe's answer, as the test scripts it
uint32_t probed = 0;                         // the address it was last asked about

NetworkState ScriptedNetwork(uint32_t dwServer)
{
    probed = dwServer;
    return networkNow;
}

// How the test's server treats a request.
enum Answer { DROP, ANSWER, KISS_RATE_, KISS_DENY_ };

class Tick : public MainDialog {
protected:
    void SetUp() override
    {
        MainDialog::SetUp();
        CreateMainWindow();
        KillTimer(hMain, 1);  // the test delivers the ticks itself
        CancelExitCountdown();  // an earlier test's window ran one out
        HoldMonotonicClock();
        networkNow = NETWORK_UNKNOWN;
        networkProbe = ScriptedNetwork;
        sockPeer = BoundLoopbackSocket(&saServer);
        StartTestHost(hMain);  // the engine's sockets and lookups report as the test's own messages
    }

    void TearDown() override
    {
        if (ReportClient().nFace != FACE_OFFLINE) ToggleOnline();
        reportClient = ReportClient;
        played = ClientReport();
        ReleaseMonotonicClock();
        networkProbe = ProbeNetwork;
        closesocket(sockPeer);
        MainDialog::TearDown();
    }

    // The user's click online, with the test's server as the server.
    void GoOnline()
    {
        ASSERT_TRUE(GoOnlineTo(saServer));
        saClient = ClientAddress();
    }

    // The network goes away and comes back: online again, as the retry's
    // rules say, without the user's click.
    void NetworkAwayAndBack()
    {
        networkNow = NETWORK_UP;  // the baseline
        TickOnce();
        networkNow = NETWORK_DOWN;
        TickOnce();
        networkNow = NETWORK_UP;
        TickOnce();
        ASSERT_TRUE(FinishGoingOnline());
        saClient = ClientAddress();
    }

    void TickOnce(WPARAM id = 1) { SendMessageA(hMain, WM_TIMER, id, 0); }

    // The requests waiting at the server, each treated as the script says.
    int Serve(Answer answer = DROP)
    {
        int n = 0;
        u_long waiting = 0;
        uint8_t request[100];
        while (ioctlsocket(sockPeer, FIONREAD, &waiting) == 0 && waiting > 0) {
            if (recv(sockPeer, (char*)request, sizeof request, 0) != 48 || request[0] != 0x23) continue;
            ++n;
            uint64_t qwTransmit;
            memcpy(&qwTransmit, request + 40, 8);
            transmits.push_back(NtpToNetwork(qwTransmit));
            if (answer != DROP) Reply(request, answer);
        }
        return n;
    }

    // A reply at once, or a kiss, handed to the client's read handling.
    void Reply(const uint8_t* request, Answer answer)
    {
        NtpPacket reply;
        memset(&reply, 0, sizeof reply);
        reply.bLiVnMode = 0x24;
        reply.bStratum = answer == ANSWER ? 1 : 0;
        memcpy(&reply.dwReferenceId, answer == KISS_RATE_ ? "RATE" : "DENY", 4);
        memcpy(&reply.qwOriginateTime, request + 40, 8);
        reply.qwReceiveTime = reply.qwTransmitTime = reply.qwReferenceTime = NtpToNetwork(NtpNow());
        sendto(sockPeer, (const char*)&reply, sizeof reply, 0, (sockaddr*)&saClient, sizeof saClient);
        MSG msg;
        ASSERT_TRUE(WaitForMessage(WM_TEST_CLIENT, &msg));
        OnClientRead((SOCKET)msg.wParam, WSAGETSELECTEVENT(msg.lParam));
    }

    // Ticks for so many seconds; the seconds at which requests came, each
    // treated by the next answer of the script (its last repeats).
    std::vector<int> RequestTimes(int seconds, const std::vector<Answer>& script)
    {
        std::vector<int> times;
        for (int s = 0; s < seconds; ++s) {
            TickOnce();
            Answer answer = script[times.size() < script.size() ? times.size() : script.size() - 1];
            if (Serve(answer) > 0) times.push_back(s);
            qwMonotonic_ms += 1000;
        }
        return times;
    }

    std::string LastLine()
    {
        std::vector<std::string> log = ReadLog();
        return log.size() >= 2 ? log[log.size() - 2] : "";
    }

    SOCKET sockPeer = INVALID_SOCKET;
    sockaddr_in saServer;
    sockaddr_in saClient;
    std::vector<NtpTimestamp> transmits;  // of the requests, as sent
};

TEST_F(Tick, RequestsBackOffWhenUnansweredAndKissesAreObeyed)
{
    const struct {
        const char* interval;
        std::vector<Answer> script;
        int seconds;
        std::vector<int> times;
        ClientStatus status;  // afterwards
    } rows[] = {
        {"10", {DROP, DROP, DROP, DROP, ANSWER}, 1500, {0, 15, 45, 105, 225, 825, 1425}, CLIENT_ONLINE},
        {"10", {DROP}, 2300, {0, 15, 45, 105, 225, 465, 945, 1545, 2145}, CLIENT_ONLINE},
        {"1", {DROP}, 250, {0, 15, 45, 105, 165, 225}, CLIENT_ONLINE},
        {"10", {KISS_RATE_, ANSWER, KISS_RATE_, ANSWER}, 6000, {0, 1200, 2400, 4800}, CLIENT_ONLINE},
        {"10", {KISS_DENY_}, 1000, {0}, CLIENT_OFFLINE},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(testing::PrintToString(row.times));
        Type(IDC_INTERVAL, row.interval);
        if (ReportClient().nFace != FACE_OFFLINE) ToggleOnline();
        GoOnline();  // afresh: no backoff, no RATE
        EXPECT_EQ(RequestTimes(row.seconds, row.script), row.times);
        EXPECT_EQ(ReportClient().nStatus, row.status);
    }
    std::vector<std::string> log = ReadLog();
    ASSERT_GE(log.size(), 3u);
    EXPECT_EQ(log[log.size() - 3], "サーバーに断られました(DENY)。オンラインにするまで問い合わせません");
    EXPECT_EQ(ReportClient().nFace, FACE_TRYING);  // stopped by its server until the user's next click
}

TEST_F(Tick, OverduePollGoesOnTheFirstTickAfterSleepAndOnceOnResume)
{
    const UINT kResumeNotices[] = {PBT_APMRESUMEAUTOMATIC, PBT_APMRESUMESUSPEND};
    GoOnline();
    EXPECT_EQ(RequestTimes(10, {ANSWER}), std::vector<int>{0});
    qwMonotonic_ms += 3 * 3600 * 1000;  // asleep: no tick for three hours
    EXPECT_EQ(RequestTimes(10, {ANSWER}), std::vector<int>{0});
    for (UINT notice : kResumeNotices) SendMessageA(hMain, WM_POWERBROADCAST, notice, 0);
    EXPECT_EQ(RequestTimes(10, {ANSWER}), std::vector<int>{}) << "polled less than 15 s ago";
    // The second notice follows the first: one poll for both.
    SendMessageA(hMain, WM_POWERBROADCAST, PBT_APMRESUMEAUTOMATIC, 0);
    EXPECT_EQ(RequestTimes(2, {ANSWER}), std::vector<int>{0});
    SendMessageA(hMain, WM_POWERBROADCAST, PBT_APMRESUMESUSPEND, 0);
    EXPECT_EQ(RequestTimes(10, {ANSWER}), std::vector<int>{});
    // The requests carry random numbers, not the clock (each, by chance, within a day of it once in 25,000).
    int nClockLike = 0;
    for (NtpTimestamp t : transmits) nClockLike += OffsetMagnitude((int64_t)(t - NtpNow())) < (86400ull << 32);
    EXPECT_EQ(transmits.size(), 3u);  // at first, after the sleep, after waking
    EXPECT_LE(nClockLike, 1);

    NetworkAwayAndBack();  // online again 12 s after the last request: the poll waits 3 s more
    closesocket(testHostNews.sockClient);  // a send that fails is logged and tried again after the backoff
    size_t nLines = ReadLog().size();
    TickOnce();
    EXPECT_EQ(ReadLog().size(), nLines);
    qwMonotonic_ms += 3000;
    TickOnce();
    EXPECT_EQ(LastLine(), "sendto エラー (10038)");  // WSAENOTSOCK
    nLines = ReadLog().size();
    qwMonotonic_ms += 60000;  // the retry is due
    TickOnce(2);              // another timer: nothing
    EXPECT_EQ(ReadLog().size(), nLines);
}

// The network's return (as a retry) goes online as before: RATE, the last
// request, the old server's way and the network's state kept. The user's
// click forgets all four.
TEST_F(Tick, OnlyTheUsersClickForgetsRateTheLastRequestAndTheNetwork)
{
    const struct {
        bool fClick;
        uint32_t dwProbed;  // until the lookup ends
        uint32_t nInterval_sec;
        std::vector<int> times;
        ClientStatus status;  // after the network's loss is then seen
    } rows[] = {
        {true, 0, 600, {0}, CLIENT_ONLINE},
        {false, inet_addr("127.0.0.1"), 1200, {14}, CLIENT_OFFLINE},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.fClick);
        if (ReportClient().nFace != FACE_OFFLINE) ToggleOnline();
        GoOnline();
        networkNow = NETWORK_UP;
        RequestTimes(1, {KISS_RATE_});
        if (row.fClick) {
            Type(IDC_SERVERNAME, "localhost");  // its address comes with the lookup
            ToggleOnline();
            ToggleOnline();
        } else {
            networkNow = NETWORK_DOWN;
            TickOnce();
            networkNow = NETWORK_UP;
            TickOnce();
        }
        networkNow = NETWORK_UNKNOWN;
        TickOnce();
        EXPECT_EQ(probed, row.dwProbed);
        MSG msg;
        if (row.fClick && WaitForMessage(WM_TEST_HOST_LOOKUP, &msg)) {
            OnHostResolved((HANDLE)msg.wParam, WSAGETASYNCERROR(msg.lParam));
        }
        ASSERT_TRUE(FinishGoingOnline());
        saClient = ClientAddress();
        EXPECT_EQ(ReportClient().nInterval_sec, row.nInterval_sec);
        EXPECT_EQ(RequestTimes(20, {ANSWER}), row.times);
        networkNow = NETWORK_DOWN;
        TickOnce();
        EXPECT_EQ(ReportClient().nStatus, row.status);
    }
}

TEST_F(Tick, ProbeAsksForTheWayToTheServer)
{
    EXPECT_EQ(ProbeNetwork(inet_addr("127.0.0.1")), NETWORK_UP);
    EXPECT_EQ(ProbeNetwork(inet_addr("127.200.0.9")), NETWORK_UP);  // Wine lists no route to loopback
    // An answer the probe could not give is no baseline: the network lost across it is still noticed.
    GoOnline();
    for (NetworkState state : {NETWORK_UP, NETWORK_UNKNOWN, NETWORK_DOWN}) {
        networkNow = state;
        TickOnce();
    }
    EXPECT_EQ(ReportClient().nStatus, CLIENT_OFFLINE);
    const char* szIsolated = getenv("TAMARIN_ISOLATED_NETWORK");
    if (szIsolated == NULL || strcmp(szIsolated, "1") != 0) GTEST_SKIP() << "needs a network of loopback alone";
    EXPECT_EQ(ProbeNetwork(inet_addr("192.0.2.1")), NETWORK_DOWN);
    EXPECT_EQ(ProbeNetwork(0), NETWORK_DOWN);  // no gateway, no route off the machine
}

TEST_F(Tick, CountdownClosesTheWindowUnlessStayingResident)
{
    reportClient = PlayedReport;
    TickOnce();       // what the report told so far is taken
    Click(IDC_STAY);  // off: synchronise once and quit
    ++played.nPollsSucceeded;
    std::vector<std::string> lines;
    for (int i = 0; i < 4; ++i) {
        TickOnce();
        lines.push_back(LastLine());
    }
    EXPECT_EQ(lines, (std::vector<std::string>{"終了4秒前", "終了3秒前", "終了2秒前", "終了1秒前"}));

    ++played.nPollsSucceeded;  // a success during the countdown starts it again
    TickOnce();
    EXPECT_EQ(LastLine(), "終了4秒前");

    Click(IDC_STAY);  // on: the countdown stops, and a success starts none
    TickOnce();
    ++played.nPollsSucceeded;
    TickOnce();
    EXPECT_EQ(LastLine(), "終了4秒前");

    // The last tick of the countdown also polls when its poll is due. The
    // success left the clock unsynchronised: the run failed, and says so.
    Click(IDC_STAY);
    ++played.nPollsSucceeded;
    for (int i = 0; i < 4; ++i) TickOnce();
    EXPECT_EQ(ReadLog().end()[-6], "時刻を合わせられなかったため、終了コード1で終了します");
    GoOnline();
    TickOnce();
    Sleep(50);
    EXPECT_EQ(Serve(), 1);
    MSG msg;
    EXPECT_TRUE(PeekMessageA(&msg, hMain, WM_CLOSE, WM_CLOSE, PM_NOREMOVE));
    PumpMessages();
    EXPECT_FALSE(IsWindow(hMain));
    EXPECT_EQ(ExitCodeOfRun(), RUN_NOT_CORRECTED);
    EXPECT_EQ(shell.MainWindow, (HWND)NULL);  // no other thread's line goes to the old handle
    HKEY hKey;
    ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Halden Works\\Tamarin Time", 0, KEY_READ, &hKey), 0);
    RegCloseKey(hKey);
}

// Someone else steps the clock an hour on: server mode falls silent until a
// reply checks the clock again, a line each way, and the client asks as
// soon as 15 s have passed since its last request.
TEST_F(Tick, AClockSteppedElsewhereIsNotServedUntilChecked)
{
    if (!PortIsFree(NTP_PORT)) GTEST_SKIP() << "UDP port 123 is taken by another program";
    StartServerMode();
    FreezeClockAt(SYSTEMTIME{2026, 12, 4, 10, 14, 3, 38, 0});
    GoOnline();
    EXPECT_EQ(RequestTimes(5, {ANSWER}), std::vector<int>{0});
    TickOnce();
    TickOnce();  // the clock's lead noted twice at this moment: the step is exactly the hour
    FreezeClockAt(SYSTEMTIME{2026, 12, 4, 10, 15, 3, 38, 0});
    SendMessageA(hMain, WM_TIMECHANGE, 0, 0);
    EXPECT_EQ(RequestTimes(15, {ANSWER}), std::vector<int>{10});
    std::vector<std::string> log = ReadLog(), lines;
    std::copy_if(log.begin(), log.end(), std::back_inserter(lines),
                 [](const std::string& line) { return line.rfind("時刻が", 0) == 0; });
    EXPECT_EQ(lines, (std::vector<std::string>{"時刻が外部から3600.000秒進められました",
                                                "時刻が確かめられていないため、SNTP要求に応答しません",
                                                "時刻が確かめられたため、SNTP要求への応答を再開します"}));
    ThawClock();
}

// Not resident, two minutes without a usable reply end the run, once the
// last request has had 15 s for its reply.
TEST_F(Tick, UnansweredRequestsEndARunThatIsNotResident)
{
    Click(IDC_STAY);  // off
    GoOnline();
    TickOnce();
    EXPECT_EQ(Serve(), 1);
    qwMonotonic_ms += 5000;
    NetworkAwayAndBack();  // the next request 10 s on
    EXPECT_EQ(RequestTimes(130, {DROP}), (std::vector<int>{10, 25, 55, 115}));
    EXPECT_NE(LastLine(), "5回続けて使える応答がなかったため、終了コード2で終了します");
    TickOnce();
    std::vector<std::string> log = ReadLog();
    EXPECT_EQ(std::vector<std::string>(log.end() - 3, log.end()),
              (std::vector<std::string>{"5回続けて使える応答がなかったため、終了コード2で終了します", "終了4秒前", ""}));
    for (int i = 0; i < 4; ++i) TickOnce();
    PumpMessages();
    EXPECT_FALSE(IsWindow(hMain));
    EXPECT_EQ(ExitCodeOfRun(), RUN_NO_REPLY);
}

}  // namespace
