#include <gtest/gtest.h>
#include <string.h>

#include <string>
#include <vector>

#include "settings/settings_table.h"
#include "sntp/client.h"
#include "sntp/client_read.h"
#include "sntp/client_state.h"
#include "sntp/packet.h"
#include "support/frozen_clock.h"
#include "support/log_window.h"
#include "support/loopback.h"
#include "support/test_host.h"
#include "timebase/clock.h"

namespace {

const uint64_t kMillisecond = 0x00418938u;  // 2^32 / 1000, rounded up: whole milliseconds print whole

// The peer plays the server: the program's socket is the client's, online
// with the peer as its server.
class ClientRead : public Loopback {
protected:
    void SetUp() override
    {
        Loopback::SetUp();
        ResetProgramState();
        qwNow = FreezeClock();
        HoldMonotonicClock();
        client.aSources[0].link.nStatus = CLIENT_ONLINE;
        client.aSources[0].link.saServer = saPeer;
        client.aSources[0].link.sock = sockLocal;
    }

    void TearDown() override
    {
        ThawClock();
        ReleaseMonotonicClock();
        client.aSources[0].link.nStatus = CLIENT_OFFLINE;
        Loopback::TearDown();
    }

    // A server reply stamped so that the server's clock reads `offset` ahead
    // of this one, answered at once, to a request sent `sentAgo` before now.
    std::vector<uint8_t> ReplyAhead(int64_t offset, uint8_t liVnMode = 0x24, size_t length = 48,
                                    uint64_t sentAgo = 0)
    {
        NtpTimestamp t1 = NtpNow() - sentAgo;
        client.aSources[0].poll.fAwaitingReply = 1;  // the request it answers
        client.aSources[0].poll.qwRequestTime = t1;
        client.aSources[0].poll.qwRequestCookie = t1 ^ 0x5DEECE66Dull;  // what the request carried instead
        NtpPacket reply;
        memset(&reply, 0, sizeof reply);
        reply.bLiVnMode = liVnMode;
        reply.bStratum = 1;
        reply.qwOriginateTime = NtpToNetwork(client.aSources[0].poll.qwRequestCookie);
        reply.qwReceiveTime = NtpToNetwork(t1 + (uint64_t)offset);
        reply.qwTransmitTime = reply.qwReceiveTime;  // answered at once: the delay is T4 - T1
        reply.qwReferenceTime = reply.qwReceiveTime;
        std::vector<uint8_t> datagram(length, 0x5A);
        memcpy(datagram.data(), &reply, sizeof reply);
        return datagram;
    }

    // Sends the datagram and lets the program handle its read event, in a
    // second of its own unless told otherwise.
    std::vector<std::string> Deliver(const std::vector<uint8_t>& datagram, uint64_t msLater = 1000)
    {
        qwMonotonic_ms += msLater;
        Send(datagram);
        MSG msg = {};
        EXPECT_TRUE(WaitForEvent(&msg));
        OnClientRead((SOCKET)msg.wParam, WSAGETSELECTEVENT(msg.lParam));
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
};

TEST_F(ClientRead, OnlyRepliesFromTheServerWhileOnlineAreJudged)
{
    client.aSources[0].link.nStatus = CLIENT_OFFLINE;
    EXPECT_EQ(Deliver(ReplyAhead(0)), (std::vector<std::string>{PeerLine(48), header, "FD_READ - !connect"}));

    client.aSources[0].link.nStatus = CLIENT_ONLINE;
    ReadLog();
    std::vector<std::string> log = Deliver(ReplyAhead(0, 0x23));  // a client request, mode 3
    EXPECT_EQ(log.size(), 5u);
    EXPECT_EQ(log.back(), "LI0 VN4 MODE3 Stratum1 Poll0 Precision0");

    client.aSources[0].link.saServer.sin_port = htons(ntohs(saPeer.sin_port) ^ 1);  // same address, another port
    log = Deliver(ReplyAhead(0));
    EXPECT_EQ(log.back(), "FD_READ - server !match");
    client.aSources[0].link.saServer = saPeer;
    client.aSources[0].link.saServer.sin_addr.s_addr = inet_addr("127.0.0.2");  // same port, another address
    log = Deliver(ReplyAhead(0));
    EXPECT_EQ(log.back(), "FD_READ - server !match");

    // An event of a socket that is no longer the client's is not read.
    client.aSources[0].link.saServer = saPeer;
    client.aSources[0].link.sock = sockPeer;
    EXPECT_EQ(Deliver(ReplyAhead(0)), log);

    EXPECT_EQ(client.found.reference.fSynchronized, 0);
    EXPECT_EQ(client.found.reference.dwReferenceId, 0u);
}

TEST_F(ClientRead, OnlyTheFirstReplyToTheRequestOutIsJudged)
{
    settings.nIgnorableMaxTimeDifference_ms = 100; ConfigureClient(ClientConfigOf(settings));
    std::vector<uint8_t> reply = ReplyAhead(300 * kMillisecond);
    std::vector<uint8_t> spoofed = reply;
    spoofed[31] ^= 1;  // a T1 the client never sent
    const std::vector<std::string> refused = {PeerLine(48), header, "FD_READ - T1 !match"};
    EXPECT_EQ(Deliver(spoofed), refused);
    EXPECT_EQ(client.found.reference.fSynchronized, 0);
    EXPECT_EQ(Deliver(reply).back(), "時刻を0.300秒進めました");
    std::vector<std::string> log = Deliver(reply);  // the same reply again
    EXPECT_EQ(std::vector<std::string>(log.end() - 3, log.end()), refused);
    EXPECT_EQ(client.found.reference.qwReferenceTime, qwNow + 300 * kMillisecond);
}

TEST_F(ClientRead, SmallOffsetSynchronisesWithoutCorrection)
{
    std::vector<uint8_t> reply = ReplyAhead(0, 0x24, 68);  // with an authenticator
    std::vector<std::string> log = Deliver(reply);
    ASSERT_EQ(log.size(), 4u);
    EXPECT_EQ(log[0], PeerLine(68));
    EXPECT_EQ(log[2], "応答に0.000秒掛かっています");
    EXPECT_EQ(log[3], "時刻は一致しています");
    EXPECT_EQ(client.found.reference.fSynchronized, 1);
    EXPECT_EQ(client.found.reference.qwReferenceTime, qwNow);  // found right: the reply's arrival
    EXPECT_EQ(client.found.reference.dwReferenceId, LowBitsOfTransmit(reply));
    EXPECT_EQ(client.found.nPollsSucceeded, 1u);
}

TEST_F(ClientRead, CorrectionThatTheSystemTakesIsRecorded)
{
    // Wine accepts a step within half a second of now as done, without
    // touching the host's clock.
    settings.nIgnorableMaxTimeDifference_ms = 100; ConfigureClient(ClientConfigOf(settings));
    std::vector<std::string> log = Deliver(ReplyAhead(300 * kMillisecond));
    ASSERT_EQ(log.size(), 5u) << testing::PrintToString(log);
    EXPECT_EQ(log[3], "0.300秒遅れています");
    EXPECT_EQ(log[4], "時刻を0.300秒進めました");
    EXPECT_EQ(client.found.reference.fSynchronized, 1);
    EXPECT_EQ(client.found.reference.qwReferenceTime, qwNow + 300 * kMillisecond);
    EXPECT_EQ(testHostNews.judged.at(0).nOutcome, REPLY_CORRECTED);
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
        client.found.reference.fSynchronized = 1;  // right before
        client.found.reference.qwReferenceTime = 0x1234;
        clockCalls.SetSystemTime = row.SetSystemTime;
        std::vector<std::string> log = Deliver(ReplyAhead(row.llOffset_ms * (int64_t)kMillisecond));
        clockCalls.SetSystemTime = realClockCalls.SetSystemTime;
        ASSERT_GE(log.size(), 3u);
        EXPECT_EQ(std::vector<std::string>(log.end() - 3, log.end()), row.lines);
        EXPECT_EQ(client.found.reference.fSynchronized, 0);
        EXPECT_EQ(client.found.reference.qwReferenceTime, 0x1234u);
        EXPECT_EQ(testHostNews.judged.back().nOutcome, REPLY_NOT_CORRECTED);
    }
    // A later reply within the tolerance makes it right again; what it left
    // uncorrected counts in the root dispersion.
    Deliver(ReplyAhead(-150 * (int64_t)kMillisecond));
    EXPECT_EQ(client.found.reference.fSynchronized, 1);
    EXPECT_EQ(client.found.reference.qwReferenceTime, qwNow);
    EXPECT_EQ(client.found.reference.qwRootDispersion, 150 * kMillisecond);
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
    client.found.reference.fSynchronized = 1;
    client.aSources[0].poll.nRetry_sec = 120;  // polls had failed before: the witness is asked for in 15 s, the backoff kept
    client.aSources[0].poll.fPollNow = 0;
    std::vector<std::string> log = Deliver(ReplyAhead(kLeap));
    EXPECT_EQ(log.back(), waiting);
    EXPECT_EQ(nClockSets, 0);
    EXPECT_EQ(client.found.reference.fSynchronized, 0);
    EXPECT_EQ(client.aSources[0].poll.nRetry_sec, 120u);
    EXPECT_EQ(client.aSources[0].poll.fPollNow, 1);
    EXPECT_EQ(client.found.nPollsSucceeded, 0u);  // no success yet: a one-shot run waits for the witness
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
    uint64_t nSucceeded = client.found.nPollsSucceeded;
    EXPECT_EQ(Deliver(ReplyAhead(50 * (int64_t)kMillisecond)).back(), "次の応答では時刻が合っていました");
    EXPECT_EQ(client.found.reference.fSynchronized, 1);
    EXPECT_EQ(client.found.nPollsSucceeded, nSucceeded + 1);
}

TEST_F(ClientRead, UnreadyServerChangesNothing)
{
    std::vector<std::string> log = Deliver(ReplyAhead(0, 0xE4));
    EXPECT_EQ(log, (std::vector<std::string>{PeerLine(48), "LI3 VN4 MODE4 Stratum1 Poll0 Precision0",
                                             "サーバーの準備がまだのようです(LI=ALARM)"}));
    EXPECT_EQ(client.found.reference.fSynchronized, 0);
    EXPECT_EQ(client.found.reference.dwReferenceId, 0u);
    EXPECT_EQ(client.found.nPollsSucceeded, 0u);
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
    SumUpStrayDatagrams();
    EXPECT_EQ(ReadLog(), (std::vector<std::string>{"要求に対応しない受信 3件 (ログ省略)", ""}));
}

TEST_F(ClientRead, OnlyAnAcceptedReplySucceedsAndEndsTheBackoff)
{
    client.aSources[0].poll.nRetry_sec = 30;
    client.aSources[0].poll.nUnanswered = 3;
    std::vector<uint8_t> reply = ReplyAhead(0, 0x24, 48, 1ull << 32);  // a second on the way
    reply[1] = 3;  // judged, though too slow: its stratum is server mode's
    std::vector<std::string> log = Deliver(reply);
    ASSERT_EQ(log.size(), 4u);
    EXPECT_EQ(log[2], "応答に1.000秒掛かっています");
    EXPECT_EQ(log[3], "0.500秒進んでいます");
    EXPECT_EQ(client.found.reference.fSynchronized, 0);
    EXPECT_EQ(client.found.reference.dwReferenceId, LowBitsOfTransmit(reply));
    EXPECT_EQ(client.found.reference.nUpstreamStratum, 3);
    EXPECT_EQ(client.found.nPollsSucceeded, 0u);
    EXPECT_EQ(client.aSources[0].poll.nRetry_sec, 30u);
    EXPECT_EQ(client.aSources[0].poll.nUnanswered, 3u);
    EXPECT_EQ(client.aSources[0].found.qwLastJudged, 0u);
    // Its offset and delay are kept as a refusal, and shown.
    ASSERT_EQ(testHostNews.judged.size(), 1u);
    const HistoryPoint& slow = testHostNews.judged[0];
    EXPECT_EQ(std::vector<uint64_t>({slow.qwArrival, (uint64_t)slow.llOffset, slow.qwLoopDelay, slow.nOutcome}),
              std::vector<uint64_t>({qwNow, (uint64_t)-(1ll << 31), 1ull << 32, REPLY_TOO_SLOW}));

    Deliver(ReplyAhead(100 * (int64_t)kMillisecond));
    EXPECT_EQ(client.found.nPollsSucceeded, 1u);
    EXPECT_EQ(client.aSources[0].poll.nRetry_sec, 0u);
    EXPECT_EQ(client.aSources[0].poll.nUnanswered, 0u);
    EXPECT_EQ(client.aSources[0].found.qwLastJudged, qwNow);  // the tray's tip tells it
    EXPECT_EQ(client.aSources[0].found.llLastOffset, 100 * (int64_t)kMillisecond);
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
        client.aSources[0].link.nStatus = CLIENT_ONLINE;
        client.link.fWantOnline = 1;
        client.aSources[0].poll.nRateShift = 0;
        std::vector<uint8_t> kiss = ReplyAhead(0);
        kiss[1] = 0;  // stratum 0
        memcpy(&kiss[12], row.code, 4);
        if (!row.fOurs) client.aSources[0].poll.qwRequestCookie ^= 1;
        std::vector<std::string> log = Deliver(kiss);
        ASSERT_GE(log.size(), 2u);
        EXPECT_EQ(std::vector<std::string>(log.end() - 2, log.end()), row.last);
        EXPECT_EQ(client.aSources[0].link.nStatus, row.status);
        EXPECT_EQ(client.link.fWantOnline, row.status == CLIENT_ONLINE ? 1 : 0);
        EXPECT_EQ(client.aSources[0].poll.nRateShift, row.nRateShift);
    }
}

}  // namespace
