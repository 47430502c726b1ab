#include <gtest/gtest.h>
#include <stdint.h>
#include <string.h>

#include <string>

#include "sntp/evaluate.h"

namespace {

const NtpTimestamp S = 0xEEC0758000000000ull;  // 2026-12-07 00:00:00
const uint64_t kDefaultDelayLimit = 0x0000000099999999ull;
const uint64_t kDefaultTolerance = 0x0000000033333333ull;

NtpPacket Reply(NtpTimestamp t1, NtpTimestamp t2, NtpTimestamp t3, uint8_t liVnMode = 0x24, uint8_t stratum = 2)
{
    NtpPacket reply;
    memset(&reply, 0, sizeof reply);
    reply.bLiVnMode = liVnMode;
    reply.bStratum = stratum;
    reply.qwOriginateTime = NtpToNetwork(t1);
    reply.qwReceiveTime = NtpToNetwork(t2);
    reply.qwTransmitTime = NtpToNetwork(t3);
    reply.qwReferenceTime = reply.qwTransmitTime;  // a server that has just set its clock
    return reply;
}

ReplyEvaluation Evaluate(const NtpPacket& reply, NtpTimestamp t4, uint64_t delayLimit = kDefaultDelayLimit,
                         uint64_t tolerance = kDefaultTolerance)
{
    ReplyEvaluation e;
    EvaluateReply(&reply, NtpToNetwork(reply.qwOriginateTime), t4, delayLimit, tolerance, -20, &e);  // our clock: 2^-20 s
    return e;
}

std::string CorrectionLine(int64_t offset)
{
    LogLineBuffer line;
    FormatCorrectionLine(line, offset);
    return line;
}

TEST(Evaluate, ServerAheadIsCorrectedForward)
{
    // T2 = S + 0.75 s, T3 = S + 0.875 s, T4 = S + 0.5 s; the server's root
    // delay 1.25 s, its root dispersion 0x1.5678 s (16.16, most
    // significant byte first).
    NtpPacket reply = Reply(S, S + 0xC0000000u, S + 0xE0000000u);
    memcpy(&reply.dwRootDelay, "\x00\x01\x40\x00\x00\x01\x56\x78", 8);
    ReplyEvaluation e = Evaluate(reply, S + 0x80000000u);
    EXPECT_EQ(e.szRefusal, nullptr);
    EXPECT_EQ(e.qwLoopDelay, 0x60000000u);  // 0.375 s
    EXPECT_EQ(e.llOffset, 0x90000000);      // +0.5625 s
    ASSERT_EQ(e.nLines, 2);
    EXPECT_STREQ(e.aszLines[0], "応答に0.375秒掛かっています");
    EXPECT_STREQ(e.aszLines[1], "0.562秒遅れています");
    EXPECT_TRUE(e.fDelayAccepted);
    EXPECT_TRUE(e.fCorrect);
    EXPECT_EQ(e.dwReferenceId, 0xE0000000u);
    EXPECT_EQ(e.qwRootDelay, 0x1A0000000u);  // 1.25 + 0.375 s
    EXPECT_EQ(e.qwRootDispersion, 0x000156780000u);
    EXPECT_EQ(CorrectionLine(e.llOffset), "時刻を0.562秒進めました");
}

TEST(Evaluate, ServerBehindIsCorrectedBack)
{
    // T2 = T3 = S - 1.875 s, T4 = S + 0.25 s.
    const NtpTimestamp t23 = S - 0x1E0000000ull;
    ReplyEvaluation e = Evaluate(Reply(S, t23, t23), S + 0x40000000u);
    EXPECT_EQ(e.qwLoopDelay, 0x40000000u);
    EXPECT_EQ(e.llOffset, -0x200000000ll);
    EXPECT_STREQ(e.aszLines[1], "2.000秒進んでいます");
    EXPECT_TRUE(e.fCorrect);
    EXPECT_EQ(CorrectionLine(e.llOffset), "時刻を2.000秒遅らせました");
}

TEST(Evaluate, HalvingTruncatesTowardZeroAndZeroOffsetIsLeftAlone)
{
    ReplyEvaluation e = Evaluate(Reply(S, S, S), S + 3);  // offset sum -3 units
    EXPECT_EQ(e.qwLoopDelay, 3u);
    EXPECT_EQ(e.llOffset, -1);
    EXPECT_STREQ(e.aszLines[1], "0.000秒進んでいます");

    e = Evaluate(Reply(S, S + 5, S + 5), S + 10);
    EXPECT_EQ(e.llOffset, 0);
    EXPECT_STREQ(e.aszLines[1], "時刻は一致しています");
    EXPECT_TRUE(e.fDelayAccepted);
    EXPECT_FALSE(e.fCorrect);
}

TEST(Evaluate, ThresholdsHoldAtEqualityAndNotOneUnitBeyond)
{
    // Delay 0.5 s, offset -0.25 s.
    const NtpPacket reply = Reply(S, S, S);
    const NtpTimestamp t4 = S + 0x80000000u;
    EXPECT_TRUE(Evaluate(reply, t4, 0x80000000u).fDelayAccepted);
    EXPECT_FALSE(Evaluate(reply, t4, 0x7FFFFFFFu).fDelayAccepted);
    EXPECT_FALSE(Evaluate(reply, t4, 0x80000000u, 0x40000000u).fCorrect);
    EXPECT_TRUE(Evaluate(reply, t4, 0x80000000u, 0x3FFFFFFFu).fCorrect);
    // No correction when the delay is refused, however large the offset.
    EXPECT_FALSE(Evaluate(reply, t4, 0x7FFFFFFFu, 0).fCorrect);
}

TEST(Evaluate, LoopDelayBelowZeroCountsAsZeroOnlyWithinBothPrecisions)
{
    // T2 = S + 1 s; the server's interval 1 s plus `extra`, the client's 1 s.
    // Precisions: the server's 2^-6 s (0x04000000) and ours 2^-20 s (0x1000).
    const struct {
        uint64_t extra;
        int8_t precision;
        const char* refusal;
    } rows[] = {
        {0x04001000u, -6, NULL},  // exactly both precisions below zero
        {0x04001001u, -6, "delay<0"},
        {0x04001001u, -5, NULL},
        {3600ull << 32, -6, "delay<0"},  // "held" an hour over a short round trip
    };
    for (const auto& row : rows) {
        NtpPacket reply = Reply(S, S + (1ull << 32), S + (2ull << 32) + row.extra);
        reply.cPrecision = row.precision;
        ReplyEvaluation e = Evaluate(reply, S + (1ull << 32));
        EXPECT_EQ(e.szRefusal == NULL ? "" : e.szRefusal, std::string(row.refusal == NULL ? "" : row.refusal));
        if (row.refusal != NULL) {
            EXPECT_STREQ(e.aszLines[0], "サーバーの準備がまだのようです(delay<0)");
            EXPECT_FALSE(e.fDelayAccepted);
            continue;
        }
        EXPECT_EQ(e.qwLoopDelay, 0u);
        EXPECT_STREQ(e.aszLines[0], "応答に0.000秒掛かっています");
        EXPECT_TRUE(e.fDelayAccepted);
    }
    // Sent before it was received.
    ReplyEvaluation e = Evaluate(Reply(S, S + 2, S + 1), S + 3);
    EXPECT_STREQ(e.szRefusal, "T3<T2");
    EXPECT_STREQ(e.aszLines[0], "サーバーの準備がまだのようです(T3<T2)");
}

TEST(Evaluate, OffsetsAreExactForClocksDecadesApartInEitherEra)
{
    // Seconds since 1900 of midnight UTC, as on the wire (2036-02-08 in the
    // second era), and the true difference in seconds.
    const NtpTimestamp k1980 = 0x96792480ull << 32, k2000 = 0xBC17C200ull << 32, k2035 = 0xFFCD8C00ull << 32;
    const NtpTimestamp k2026 = S, k2036 = 0xF680ull << 32;
    const struct {
        NtpTimestamp local, server;
        int64_t seconds;
    } rows[] = {
        {k1980, k2026, 1481068800},  {k2000, k2026, 849916800}, {k2035, k2026, -286070400},
        {k1980, k2036, 1770508800},  {k2000, k2036, 1139356800}, {k2035, k2036, 3369600},
        {k2026, k1980, -1481068800}, {k2036, k1980, -1770508800}, {k2036, k2035, -3369600},
    };
    for (const auto& row : rows) {
        // Answered at once, with no time on the way: the offset is the whole difference.
        ReplyEvaluation e = Evaluate(Reply(row.local, row.server, row.server), row.local);
        EXPECT_EQ(e.llOffset, row.seconds * (1ll << 32)) << row.seconds;
        EXPECT_EQ(row.local + (uint64_t)e.llOffset, row.server) << "the time the clock is set to";
    }
    // An odd sum still halves toward zero: (1 + -4) / 2 units is -1.
    EXPECT_EQ(Evaluate(Reply(S, S + 1, S + 1), S + 5).llOffset, -1);
}

TEST(Evaluate, UnreadyServersAreRefusedWithTheFirstReasonAndTheirKissRead)
{
    const struct {
        NtpPacket reply;
        const char* reason;
        const char* refid;
        KissCode kiss;  // whatever refused the reply
    } rows[] = {
        {Reply(S, S, S, 0xE4, 0), "LI=ALARM", "RATE", KISS_RATE},  // LI 3 and stratum 0: only the first
        {Reply(S, S, S, 0x24, 0), "Statum=0", "DENY", KISS_STOP},
        {Reply(S, S, S, 0x24, 0), "Statum=0", "RSTR", KISS_STOP},
        {Reply(S, S, S, 0x24, 0), "Statum=0", "ACST", KISS_NONE},
        {Reply(0, 0, 0, 0x24, 1), "T1=0", "DENY", KISS_NONE},  // no kiss above stratum 0
        {Reply(S, 0, 0, 0x24, 1), "T2=0", "RATE", KISS_NONE},
        {Reply(S, S, 0, 0x24, 1), "T3=0", "", KISS_NONE},
        {Reply(S, S, S, 0x24, 16), "Stratum>=16", "", KISS_NONE},
        {Reply(S, S, S, 0x24, 255), "Stratum>=16", "", KISS_NONE},
    };
    for (auto row : rows) {
        memcpy(&row.reply.dwReferenceId, row.refid, strlen(row.refid));
        ReplyEvaluation e = Evaluate(row.reply, S);
        EXPECT_EQ(e.nKiss, row.kiss) << row.refid;
        ASSERT_NE(e.szRefusal, nullptr);
        EXPECT_STREQ(e.szRefusal, row.reason);
        ASSERT_EQ(e.nLines, 1);
        EXPECT_EQ(std::string(e.aszLines[0]), std::string("サーバーの準備がまだのようです(") + row.reason + ")");
        EXPECT_FALSE(e.fDelayAccepted);
    }

    // What no synchronised server sends, each alone: a reply answered at
    // once at S that passes but for one field. The drift since the reference time counts 15 ppm: an hour
    // gives 54 ms, a day 1.296 s.
    const uint64_t kHour = 3600ull << 32, kDay = 86400ull << 32;
    const struct {
        NtpTimestamp reference;
        int8_t precision;
        const char* root;  // delay and dispersion, NTP short, most significant byte first
        const char* reason;
    } fields[] = {
        {S - kHour, -20, "\0\0\0\0\0\0\0\0", NULL},
        {0, -20, "\0\0\0\0\0\0\0\0", "RefTime=0"},
        {S + 1, -20, "\0\0\0\0\0\0\0\0", "RefTime>T3"},
        {S, -20, "\0\0\0\0\0\0\0\0", NULL},
        {S - kHour, 1, "\0\0\0\0\0\0\0\0", "Precision>0"},
        {S - kHour, 0, "\0\0\0\0\0\0\0\0", NULL},
        // 2 s of root delay (half of it counts) and 2 s of dispersion: 3 s,
        // and with the hour's 54 ms beyond.
        {S, -20, "\0\x02\0\0\0\x02\0\0", NULL},
        {S - kHour, -20, "\0\x02\0\0\0\x02\0\0", "RootDist>3s"},
        {S - 2 * kDay, -20, "\0\0\0\0\0\0\0\0", NULL},  // 2.592 s
        {S - 3 * kDay, -20, "\0\0\0\0\0\0\0\0", "RootDist>3s"},  // 3.888 s
        {S, -20, "\0\0\0\0\xFF\xFF\0\0", "RootDist>3s"},  // 65,535 s, as a lost clock says
    };
    for (const auto& row : fields) {
        NtpPacket reply = Reply(S, S, S);
        reply.qwReferenceTime = NtpToNetwork(row.reference);
        reply.cPrecision = row.precision;
        memcpy(&reply.dwRootDelay, row.root, 8);
        ReplyEvaluation e = Evaluate(reply, S);
        EXPECT_STREQ(e.szRefusal == NULL ? "" : e.szRefusal, row.reason == NULL ? "" : row.reason);
        EXPECT_EQ(e.fDelayAccepted, row.reason == NULL);
        if (row.reason != NULL) {
            EXPECT_EQ(std::string(e.aszLines[0]), std::string("サーバーの準備がまだのようです(") + row.reason + ")");
        }
    }

    // A router that lost its clock: stratum 16, LI 0, no reference time, the
    // largest dispersion, claiming 1985 (and a precision that would excuse
    // any delay below zero).
    NtpPacket lost = Reply(S, 0x9CF0A480ull << 32, 0x9CF0A480ull << 32, 0x24, 16);
    lost.qwReferenceTime = 0;
    memcpy(&lost.dwRootDispersion, "\xFF\xFF\0\0", 4);
    lost.cPrecision = 30;
    EXPECT_STREQ(Evaluate(lost, S).szRefusal, "Stratum>=16");

    // Any version is evaluated: version 3, LI 2.
    ReplyEvaluation e = Evaluate(Reply(S, S + 1, S + 1, 0x9C, 1), S + 2);
    EXPECT_EQ(e.szRefusal, nullptr);
    EXPECT_TRUE(e.fDelayAccepted);
}

TEST(Evaluate, ALeapNeedsASecondWitness)
{
    // The tolerance is 200 ms; a leap is more than 1,000 s.
    const int64_t kSecond = 1ll << 32, kTolerance = 0x33333333;
    const struct {
        int64_t first, second;  // the offsets of two accepted replies in turn
        bool fCorrectSecond;    // the second asks for a correction
        LeapVerdict verdicts[2];
    } rows[] = {
        {1000 * kSecond, 1000 * kSecond, true, {LEAP_NONE, LEAP_NONE}},  // at the threshold: no witness
        {1000 * kSecond + 1, 1000 * kSecond + 1, true, {LEAP_AWAITED, LEAP_WITNESSED}},
        {-820000000 * kSecond, -820000000 * kSecond - kTolerance, true, {LEAP_AWAITED, LEAP_WITNESSED}},
        {-820000000 * kSecond, -820000000 * kSecond - kTolerance - 1, true, {LEAP_AWAITED, LEAP_DISPUTED}},
        {5000 * kSecond, -5000 * kSecond, true, {LEAP_AWAITED, LEAP_DISPUTED}},
        {5000 * kSecond, 0, false, {LEAP_AWAITED, LEAP_DROPPED}},  // the clock right after all: no leap
        {5000 * kSecond, kSecond, true, {LEAP_AWAITED, LEAP_DISPUTED}},
        {INT64_MAX, INT64_MIN + 1, true, {LEAP_AWAITED, LEAP_WITNESSED}},  // 136 years apart: the same time
        {2 * kSecond, 2000 * kSecond, true, {LEAP_NONE, LEAP_AWAITED}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.first);
        LeapWitness witness = {};
        EXPECT_EQ(WeighLeap(&witness, row.first, true, kTolerance), row.verdicts[0]);
        EXPECT_EQ(WeighLeap(&witness, row.second, row.fCorrectSecond, kTolerance), row.verdicts[1]);
    }
    // A leap that is not asked (the delay too long, or within tolerance) waits for nothing.
    LeapWitness witness = {};
    EXPECT_EQ(WeighLeap(&witness, 5000 * kSecond, false, kTolerance), LEAP_NONE);
    // After a verdict, a pair starts afresh.
    EXPECT_EQ(WeighLeap(&witness, 5000 * kSecond, true, kTolerance), LEAP_AWAITED);
    EXPECT_EQ(WeighLeap(&witness, 6000 * kSecond, true, kTolerance), LEAP_DISPUTED);
    EXPECT_EQ(WeighLeap(&witness, 6000 * kSecond, true, kTolerance), LEAP_AWAITED);
}

}  // namespace
