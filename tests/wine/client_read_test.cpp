#include <gtest/gtest.h>
#include <string.h>

#include <string>
#include <vector>

#include "settings/settings_table.h"
#include "sntp/client.h"
#include "sntp/network_probe.h"
#include "sntp/packet.h"
#include "support/frozen_clock.h"
#include "support/log_window.h"
#include "support/loopback.h"
#include "support/test_host.h"
#include "timebase/clock.h"

namespace {

const uint64_t kMillisecond = 0x00418938u;  // 2^32 / 1000, rounded up: whole milliseconds print whole

NetworkState NoAnswer(uint32_t)
{
    return NETWORK_UNKNOWN;
}

// The peer plays the server: the client, driven through its door and the
// tests' host, goes online with the peer as its server.
class ClientRead : public Loopback {
protected:
    void SetUp() override
    {
        Loopback::SetUp();
        ResetProgramState();
        qwNow = FreezeClock();
        HoldMonotonicClock();
        networkProbe = NoAnswer;
        saSpare = saLocal;
        ASSERT_TRUE(GoOnlineTo(saPeer));
        AimAtClient();
        ForgetLog();
    }

    void TearDown() override
    {
        if (ReportClient().nFace != FACE_OFFLINE) ToggleOnline();
        networkProbe = ProbeNetwork;
        ThawClock();
        ReleaseMonotonicClock();
        Loopback::TearDown();
    }

    // The peer sends to the client's socket of now.
    void AimAtClient() { saLocal = ClientAddress(); }

    // Lets the client send its next request (due, whatever the backoff) and
    // takes it off the peer's socket: the T1 the client read, and the
    // transmit timestamp it sent as it stood on the wire.
    NtpTimestamp TakeRequest(uint64_t* pqwCookie)
    {
        qwMonotonic_ms += (uint64_t)ReportClient().nInterval_sec * 1000;
        OnClientTick();
        NtpTimestamp t1 = NtpNow();
        fd_set readable;
        FD_ZERO(&readable);
        FD_SET(sockPeer, &readable);
        timeval wait = {5, 0};
        uint8_t request[48] = {};
        if (select(0, &readable, NULL, NULL, &wait) != 1) {
            ADD_FAILURE() << "no request";
            return t1;
        }
        EXPECT_EQ(recv(sockPeer, (char*)request, sizeof request, 0), 48);
        memcpy(pqwCookie, request + 40, 8);
        return t1;
    }

    // The reply to the next request, stamped so that the server's clock
    // reads `offset` ahead of this one, answered at once.
    std::vector<uint8_t> ReplyAhead(int64_t offset, uint8_t liVnMode = 0x24, size_t length = 48)
    {
        uint64_t qwCookie = 0;
        NtpTimestamp t1 = TakeRequest(&qwCookie);
        NtpPacket reply;
        memset(&reply, 0, sizeof reply);
        reply.bLiVnMode = liVnMode;
        reply.bStratum = 1;
        reply.qwOriginateTime = qwCookie;
        reply.qwReceiveTime = NtpToNetwork(t1 + (uint64_t)offset);
        reply.qwTransmitTime = reply.qwReceiveTime;  // answered at once: the delay is T4 - T1
        reply.qwReferenceTime = reply.qwReceiveTime;
        std::vector<uint8_t> datagram(length, 0x5A);
        memcpy(datagram.data(), &reply, sizeof reply);
        return datagram;
    }

    // Sends the datagram (unless sent already) and lets the client handle its
    // read event, in a second of its own unless told otherwise.
    std::vector<std::string> Deliver(const std::vector<uint8_t>& datagram, uint64_t msLater = 1000, bool fSend = true)
    {
        qwMonotonic_ms += msLater;
        if (fSend) Send(datagram);
        MSG msg = {};
        do {  // a new socket's write notice may come first
            EXPECT_TRUE(WaitForMessage(WM_TEST_CLIENT, &msg));
            OnClientRead((SOCKET)msg.wParam, WSAGETSELECTEVENT(msg.lParam));
        } while (msg.message == WM_TEST_CLIENT && (WSAGETSELECTEVENT(msg.lParam) & FD_READ) == 0);
        std::vector<std::string> log = ReadLog();
        if (!log.empty()) log.pop_back();  // the empty entry below the newest line
        return log;
    }

    uint32_t LowBitsOfTransmit(const std::vector<uint8_t>& datagram)
    {
        return uint32_t(datagram[44]) << 24 | datagram[45] << 16 | datagram[46] << 8 | datagram[47];
    }

    const std::string header = "LI0 VN4 MODE4 Stratum1 Poll0 Precision0";
    NtpTimestamp qwNow = 0;  // the clock stands still here
    sockaddr_in saSpare;     // the fixture's own socket, which is not the client's
};

TEST_F(ClientRead, OnlyRepliesFromTheServerWhileOnlineAreJudged)
{
    // While the server's port is being looked up, a reply is no answer.
    std::vector<uint8_t> reply = ReplyAhead(0);
    ToggleOnline();
    ToggleOnline();
    AimAtClient();
    ForgetLog();
    EXPECT_EQ(Deliver(reply), (std::vector<std::string>{PeerLine(48), header, "FD_READ - !connect"}));
    ToggleOnline();
    ASSERT_TRUE(GoOnlineTo(saPeer));
    AimAtClient();

    ForgetLog();
    EXPECT_EQ(Deliver(ReplyAhead(0, 0x23)),  // a client request, mode 3
              (std::vector<std::string>{PeerLine(48), "LI0 VN4 MODE3 Stratum1 Poll0 Precision0"}));

    // From the server's address but another port, and from its port on another address.
    sockaddr_in saOther;
    SOCKET sockOther = BoundLoopbackSocket(&saOther);
    reply = ReplyAhead(0);
    sendto(sockOther, (const char*)reply.data(), (int)reply.size(), 0, (sockaddr*)&saLocal, sizeof saLocal);
    EXPECT_EQ(Deliver({}, 1000, false).back(), "FD_READ - server !match");
    closesocket(sockOther);
    ToggleOnline();
    sockaddr_in saElsewhere = saPeer;
    saElsewhere.sin_addr.s_addr = inet_addr("127.0.0.2");
    ASSERT_TRUE(GoOnlineTo(saElsewhere));
    AimAtClient();
    EXPECT_EQ(Deliver(reply).back(), "FD_READ - server !match");

    // An event of a socket that is not the client's is not read.
    ForgetLog();
    sendto(sockPeer, (const char*)reply.data(), (int)reply.size(), 0, (sockaddr*)&saSpare, sizeof saSpare);
    MSG msg = {};
    ASSERT_TRUE(WaitForEvent(&msg));
    OnClientRead((SOCKET)msg.wParam, WSAGETSELECTEVENT(msg.lParam));
    EXPECT_TRUE(ReadLog().empty());

    EXPECT_EQ(ReportClient().reference.fSynchronized, 0);
    EXPECT_EQ(ReportClient().reference.dwReferenceId, 0u);
}

TEST_F(ClientRead, OnlyTheFirstReplyToTheRequestOutIsJudged)
{
    settings.nIgnorableMaxTimeDifference_ms = 100; ConfigureClient(ClientConfigOf(settings));
    std::vector<uint8_t> reply = ReplyAhead(300 * kMillisecond);
    std::vector<uint8_t> spoofed = reply;
    spoofed[31] ^= 1;  // a T1 the client never sent
    const std::vector<std::string> refused = {PeerLine(48), header, "FD_READ - T1 !match"};
    EXPECT_EQ(Deliver(spoofed), refused);
    EXPECT_EQ(ReportClient().reference.fSynchronized, 0);
    EXPECT_EQ(Deliver(reply).back(), "時刻を0.300秒進めました");
    std::vector<std::string> log = Deliver(reply);  // the same reply again
    EXPECT_EQ(std::vector<std::string>(log.end() - 3, log.end()), refused);
    EXPECT_EQ(ReportClient().reference.qwReferenceTime, qwNow + 300 * kMillisecond);
}

// In turn: a server not ready, a clock found right (a reply with an
// authenticator), a correction that the system takes (Wine accepts a step
// within half a second of now as done, without touching the host's clock).
TEST_F(ClientRead, AReplyIsJudgedAndWhatItFoundKept)
{
    settings.nIgnorableMaxTimeDifference_ms = 100; ConfigureClient(ClientConfigOf(settings));
    const struct {
        int64_t llOffset;
        uint8_t liVnMode;
        size_t length;
        std::vector<std::string> lines;  // after the sender's
        int32_t fSynchronized;
        uint64_t nPollsSucceeded;
    } rows[] = {
        {0, 0xE4, 48, {"LI3 VN4 MODE4 Stratum1 Poll0 Precision0", "サーバーの準備がまだのようです(LI=ALARM)"}, 0, 0},
        {0, 0x24, 68, {header, "応答に0.000秒掛かっています", "時刻は一致しています"}, 1, 1},
        {300 * (int64_t)kMillisecond, 0x24, 48,
         {header, "応答に0.000秒掛かっています", "0.300秒遅れています", "時刻を0.300秒進めました"}, 1, 2},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.lines.back());
        ForgetLog();
        std::vector<uint8_t> reply = ReplyAhead(row.llOffset, row.liVnMode, row.length);
        std::vector<std::string> expected = {PeerLine((int)row.length)};
        expected.insert(expected.end(), row.lines.begin(), row.lines.end());
        EXPECT_EQ(Deliver(reply), expected);
        const ReferenceState reference = ReportClient().reference;
        EXPECT_EQ(reference.fSynchronized, row.fSynchronized);
        // Found right, the reply's arrival; set, the time it was set to.
        EXPECT_EQ(reference.qwReferenceTime, row.fSynchronized ? qwNow + row.llOffset : 0);
        EXPECT_EQ(reference.dwReferenceId, row.fSynchronized ? LowBitsOfTransmit(reply) : 0);
        EXPECT_EQ(ReportClient().nPollsSucceeded, row.nPollsSucceeded);
    }
    EXPECT_EQ(testHostNews.judged.back().nOutcome, REPLY_CORRECTED);
}

BOOL WINAPI RefuseTimeAsInvalid(const SYSTEMTIME*)
{
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
}

TEST_F(ClientRead, RefusedCorrectionLeavesItUnsynchronisedUntilTheClockIsRight)
{
    // Wine refuses a step of more than half a second as a privilege not held.
    const std::string refused = "時刻が設定できません";
    const std::string whatToDo = "管理者として実行するか、インストーラーでログオン時の起動を選んでください";
    const struct {
        int64_t llOffset_ms;
        BOOL(WINAPI* SetSystemTime)(const SYSTEMTIME*);
        std::vector<std::string> lines;  // the last ones
    } rows[] = {
        {2000, realClockCalls.SetSystemTime, {"2.000秒遅れています", refused, whatToDo}},
        {-2000, realClockCalls.SetSystemTime, {"2.000秒進んでいます", refused, whatToDo}},
        {2000, RefuseTimeAsInvalid, {"応答に0.000秒掛かっています", "2.000秒遅れています", refused}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.llOffset_ms);
        Deliver(ReplyAhead(0));  // right before
        NtpTimestamp qwReferenceTime = ReportClient().reference.qwReferenceTime;
        clockCalls.SetSystemTime = row.SetSystemTime;
        std::vector<std::string> log = Deliver(ReplyAhead(row.llOffset_ms * (int64_t)kMillisecond));
        clockCalls.SetSystemTime = realClockCalls.SetSystemTime;
        ASSERT_GE(log.size(), 3u);
        EXPECT_EQ(std::vector<std::string>(log.end() - 3, log.end()), row.lines);
        EXPECT_EQ(ReportClient().reference.fSynchronized, 0);
        EXPECT_EQ(ReportClient().reference.qwReferenceTime, qwReferenceTime);
        EXPECT_EQ(testHostNews.judged.back().nOutcome, REPLY_NOT_CORRECTED);
    }
    // A later reply within the tolerance makes it right again; what it left
    // uncorrected counts in the root dispersion.
    Deliver(ReplyAhead(-150 * (int64_t)kMillisecond));
    EXPECT_EQ(ReportClient().reference.fSynchronized, 1);
    EXPECT_EQ(ReportClient().reference.qwReferenceTime, qwNow);
    EXPECT_EQ(ReportClient().reference.qwRootDispersion, 150 * kMillisecond);
}

int nClockSets = 0;

BOOL WINAPI CountClockSet(const SYSTEMTIME*)
{
    ++nClockSets;
    SetLastError(ERROR_PRIVILEGE_NOT_HELD);
    return FALSE;
}

TEST_F(ClientRead, ALeapWaitsForTheNextReplyToAgree)
{
    const int64_t kLeap = 2000ll << 32;  // beyond 1,000 s
    const std::string waiting = "差が1000秒を超えるため、次の応答で確かめます";
    nClockSets = 0;
    clockCalls.SetSystemTime = CountClockSet;
    Deliver(ReplyAhead(0));  // right before
    const uint64_t nSucceededBefore = ReportClient().nPollsSucceeded;
    uint64_t qwCookie;
    TakeRequest(&qwCookie);  // unanswered, twice: the backoff alone would wait longer than the witness
    TakeRequest(&qwCookie);
    std::vector<std::string> log = Deliver(ReplyAhead(kLeap));
    EXPECT_EQ(log.back(), waiting);
    EXPECT_EQ(nClockSets, 0);
    EXPECT_EQ(ReportClient().reference.fSynchronized, 0);
    // The witness is asked for 15 s after the request, not before.
    uint64_t qwAsked_ms = ReportClient().qwLastPoll_ms;
    qwMonotonic_ms = qwAsked_ms + 14999;
    OnClientTick();
    EXPECT_EQ(ReportClient().qwLastPoll_ms, qwAsked_ms);
    qwMonotonic_ms = qwAsked_ms + 15000;
    OnClientTick();
    EXPECT_EQ(ReportClient().qwLastPoll_ms, qwAsked_ms + 15000);
    uint8_t abWitness[48];  // that request goes unanswered: the next is answered
    EXPECT_EQ(recv(sockPeer, (char*)abWitness, sizeof abWitness, 0), 48);
    EXPECT_EQ(ReportClient().nPollsSucceeded, nSucceededBefore);  // a one-shot run waits for the witness
    EXPECT_EQ(testHostNews.judged.back().nOutcome, REPLY_NOT_CORRECTED);

    log = Deliver(ReplyAhead(kLeap + 300 * (int64_t)kMillisecond));  // beyond the tolerance of 200 ms
    EXPECT_EQ(log.back(), "次の応答と差が一致しないため、時刻を修正しません");
    EXPECT_EQ(nClockSets, 0);

    Deliver(ReplyAhead(kLeap));
    log = Deliver(ReplyAhead(kLeap + 100 * (int64_t)kMillisecond));
    clockCalls.SetSystemTime = realClockCalls.SetSystemTime;
    EXPECT_EQ(std::vector<std::string>(log.end() - 4, log.end()),
              (std::vector<std::string>{"2000.100秒遅れています", "次の応答も同じ差でした", "時刻が設定できません",
                                        "管理者として実行するか、インストーラーでログオン時の起動を選んでください"}));
    EXPECT_EQ(nClockSets, 1);

    // A witness that finds the clock right: the leap was bogus, and the poll succeeded.
    Deliver(ReplyAhead(kLeap));
    uint64_t nSucceeded = ReportClient().nPollsSucceeded;
    EXPECT_EQ(Deliver(ReplyAhead(50 * (int64_t)kMillisecond)).back(), "次の応答では時刻が合っていました");
    EXPECT_EQ(ReportClient().reference.fSynchronized, 1);
    EXPECT_EQ(ReportClient().nPollsSucceeded, nSucceeded + 1);
}

TEST_F(ClientRead, StrayDatagramsBeyondTwoASecondAreOnlyCounted)
{
    std::vector<uint8_t> reply = ReplyAhead(0);
    std::vector<uint8_t> forged = reply;
    forged[31] ^= 1;  // a T1 the client never sent
    Deliver(forged);
    for (int i = 0; i < 4; ++i) Deliver(forged, 0);
    std::vector<std::string> log = Deliver(reply, 999);  // the answer is told in full in the same second
    const std::vector<std::string> stray = {PeerLine(48), header, "FD_READ - T1 !match"};
    std::vector<std::string> expected = stray;
    expected.insert(expected.end(), stray.begin(), stray.end());
    expected.insert(expected.end(), {PeerLine(48), header, "応答に0.000秒掛かっています", "時刻は一致しています"});
    EXPECT_EQ(log, expected);
    ForgetLog();
    qwMonotonic_ms += 1;
    OnClientTick();
    EXPECT_EQ(ReadLog(), (std::vector<std::string>{"要求に対応しない受信 3件 (ログ省略)", ""}));
}

TEST_F(ClientRead, OnlyAnAcceptedReplySucceedsAndEndsTheBackoff)
{
    uint64_t qwCookie;
    TakeRequest(&qwCookie);  // two polls unanswered before
    TakeRequest(&qwCookie);
    std::vector<uint8_t> reply = ReplyAhead(0);
    reply[1] = 3;  // judged, though too slow: its stratum is server mode's
    ShiftFrozenClock(10000000);  // a second on the way
    std::vector<std::string> log = Deliver(reply);
    ShiftFrozenClock(-10000000);
    ASSERT_EQ(log.size(), 4u);
    EXPECT_EQ(log[2], "応答に1.000秒掛かっています");
    EXPECT_EQ(log[3], "0.500秒進んでいます");
    EXPECT_EQ(ReportClient().reference.fSynchronized, 0);
    EXPECT_EQ(ReportClient().reference.dwReferenceId, LowBitsOfTransmit(reply));
    EXPECT_EQ(ReportClient().reference.nUpstreamStratum, 3);
    EXPECT_EQ(ReportClient().nPollsSucceeded, 0u);
    EXPECT_EQ(ReportClient().nPollsUnanswered, 3u);
    EXPECT_EQ(ReportClient().qwLastJudged, 0u);
    // Its offset and delay are kept as a refusal, and shown.
    ASSERT_EQ(testHostNews.judged.size(), 1u);
    const HistoryPoint& slow = testHostNews.judged[0];
    EXPECT_EQ(std::vector<uint64_t>({slow.qwArrival, (uint64_t)slow.llOffset, slow.qwLoopDelay, slow.nOutcome}),
              std::vector<uint64_t>({qwNow + (1ull << 32), (uint64_t)-(1ll << 31), 1ull << 32, REPLY_TOO_SLOW}));

    // Half a second on the way is slower than the tolerance but within the limit.
    reply = ReplyAhead((1ll << 30) + 100 * (int64_t)kMillisecond);
    ShiftFrozenClock(5000000);
    Deliver(reply);
    EXPECT_EQ(ReportClient().nPollsSucceeded, 1u);
    EXPECT_EQ(ReportClient().nPollsUnanswered, 0u);
    EXPECT_EQ(ReportClient().qwLastJudged, qwNow + (1ull << 31));  // the tray's tip tells it
    EXPECT_EQ(ReportClient().qwLastJudged_ms, qwMonotonic_ms);
    EXPECT_EQ(ReportClient().llLastOffset, 100 * (int64_t)kMillisecond);
    ASSERT_EQ(testHostNews.judged.size(), 2u);
    EXPECT_EQ(testHostNews.judged[1].nOutcome, REPLY_WITHIN_TOLERANCE);
}

TEST_F(ClientRead, KissesAnsweringTheRequestAreObeyed)
{
    const std::string header0 = "LI0 VN4 MODE4 Stratum0 Poll0 Precision0";
    const std::string refused = "サーバーの準備がまだのようです(Statum=0)";
    const struct {
        const char* code;
        bool fOurs;  // answers the request out
        std::vector<std::string> last;  // lines
        ClientStatus status;
        int32_t nRateShift;
    } rows[] = {
        {"RATE", true, {header0, refused}, CLIENT_ONLINE, 1},
        {"RATE", false, {header0, refused}, CLIENT_ONLINE, 0},
        {"DENY", false, {header0, refused}, CLIENT_ONLINE, 0},
        {"ACST", true, {header0, refused}, CLIENT_ONLINE, 0},
        // Last: it closes the client's socket.
        {"RSTR", true, {"サーバーに断られました(RSTR)。オンラインにするまで問い合わせません", "交信終了"}, CLIENT_OFFLINE, 0},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(std::string(row.code) + (row.fOurs ? " ours" : " not ours"));
        if (ReportClient().nFace != FACE_OFFLINE) ToggleOnline();
        ASSERT_TRUE(GoOnlineTo(saPeer));  // afresh: no RATE
        AimAtClient();
        std::vector<uint8_t> kiss = ReplyAhead(0);
        kiss[1] = 0;  // stratum 0
        memcpy(&kiss[12], row.code, 4);
        if (!row.fOurs) kiss[31] ^= 1;  // a T1 the client never sent
        std::vector<std::string> log = Deliver(kiss);
        ASSERT_GE(log.size(), 2u);
        EXPECT_EQ(std::vector<std::string>(log.end() - 2, log.end()), row.last);
        const ClientReport report = ReportClient();
        EXPECT_EQ(report.nStatus, row.status);
        EXPECT_EQ(report.nFace, row.status == CLIENT_ONLINE ? FACE_ONLINE : FACE_TRYING);  // stopped by its server
        EXPECT_EQ(report.nInterval_sec, 600u << row.nRateShift);
    }
}

}  // namespace
