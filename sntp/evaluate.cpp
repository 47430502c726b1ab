#include "sntp/evaluate.h"

#include <stdio.h>
#include <string.h>

namespace {

// The checks that make a reply unusable, in the order they are tested.
const char* RefusalOf(const NtpPacket* reply, NtpTimestamp qwOriginate, NtpTimestamp t2, NtpTimestamp t3)
{
    if (NtpLeapIndicator(reply) == NTP_LEAP_ALARM) return "LI=ALARM";  // 1. server not synchronised
    if (reply->bStratum == 0) return "Statum=0";                        // 2. kiss-of-death or unspecified
    if (qwOriginate == 0) return "T1=0";                                // 3. no originate time echoed
    if (t2 == 0) return "T2=0";                                         // 4. no receive time
    if (t3 == 0) return "T3=0";                                         // 5. no transmit time
    return NULL;
}

// Root distance (RFC 5905): half the root delay, the root dispersion, and
// 15 ppm of the time since the reference time; chrony's default limit.
const uint64_t kMaxRootDistance = 3ull << 32;

uint64_t RootDistance(const NtpPacket* reply, uint64_t qwSinceReference)
{
    return NtpShortToNtp(reply->dwRootDelay) / 2 + NtpShortToNtp(reply->dwRootDispersion) +
           DriftBound(qwSinceReference);
}

// What no synchronised server sends, after the checks above: a router or a
// receiver that lost its own time answers like this.
const char* UnsynchronisedServer(const NtpPacket* reply, NtpTimestamp t3)
{
    const NtpTimestamp qwReference = NtpToNetwork(reply->qwReferenceTime);
    const int64_t llSinceReference = (int64_t)(t3 - qwReference);
    if (reply->bStratum >= 16) return "Stratum>=16";                          // 6. unsynchronised
    if (qwReference == 0) return "RefTime=0";                                 // 7. never set
    if (llSinceReference < 0) return "RefTime>T3";                            // 8. set in its future
    if (reply->cPrecision > 0) return "Precision>0";                          // 9. a clock coarser than a second
    if (RootDistance(reply, (uint64_t)llSinceReference) > kMaxRootDistance) {  // 10. too far from a true clock
        return "RootDist>3s";
    }
    return NULL;
}

// A precision, a power of two in seconds, as a 32.32 duration: nothing
// below one unit, and at most 2^30 s.
uint64_t PrecisionDuration(int nPrecision)
{
    if (nPrecision < -32) return 0;
    return 1ull << (32 + (nPrecision > 30 ? 30 : nPrecision));
}

// The checks of a reply's times, after those of the table above.
const char* ImpossibleTiming(NtpTimestamp t2, NtpTimestamp t3, int64_t llDelay, int nTheirs, int nOurs)
{
    if ((int64_t)(t3 - t2) < 0) return "T3<T2";  // 11. sent before it was received
    // 12. a loop delay below zero by more than the two clocks can blur
    if (llDelay < 0 && OffsetMagnitude(llDelay) > PrecisionDuration(nTheirs) + PrecisionDuration(nOurs)) {
        return "delay<0";
    }
    return NULL;
}

// (a + b) / 2, truncated toward zero, exact for any two signed differences
// (clocks up to 68 years apart): each is halved before the sum, which then
// cannot overflow, and the two halves' remainders are put back.
int64_t HalvedSum(int64_t a, int64_t b)
{
    int64_t halves = (a >> 1) + (b >> 1);  // each rounded toward minus infinity
    int remainders = (int)(a & 1) + (int)(b & 1);
    int64_t floor = halves + (remainders >> 1);
    return remainders == 1 && floor < 0 ? floor + 1 : floor;
}

void Refuse(ReplyEvaluation* e)
{
    FormatLogLine(e->aszLines[0], "サーバーの準備がまだのようです(%s)", e->szRefusal);
    e->nLines = 1;
}

void FormatOffsetLine(LogLineBuffer& line, int64_t llOffset)
{
    if (llOffset < 0) {
        FormatSecondsLine(line, "", OffsetMagnitude(llOffset), "秒進んでいます");
    } else if (llOffset > 0) {
        FormatSecondsLine(line, "", (uint64_t)llOffset, "秒遅れています");
    } else {
        FormatLogLine(line, "%s", "時刻は一致しています");
    }
}

// A stratum 0 reply's reference identifier is four ASCII characters.
void ReadKiss(const NtpPacket* reply, ReplyEvaluation* e)
{
    if (reply->bStratum != 0) return;
    memcpy(e->szKissCode, &reply->dwReferenceId, 4);
    e->szKissCode[4] = 0;
    if (strcmp(e->szKissCode, "DENY") == 0 || strcmp(e->szKissCode, "RSTR") == 0) e->nKiss = KISS_STOP;
    if (strcmp(e->szKissCode, "RATE") == 0) e->nKiss = KISS_RATE;
}

}  // namespace

void EvaluateReply(const NtpPacket* reply, NtpTimestamp t1, NtpTimestamp t4, uint64_t qwAcceptableMaxLoopDelay,
                   uint64_t qwIgnorableMaxTimeDifference, int nOurPrecision, ReplyEvaluation* e)
{
    const NtpTimestamp t2 = NtpToNetwork(reply->qwReceiveTime);
    const NtpTimestamp t3 = NtpToNetwork(reply->qwTransmitTime);

    *e = ReplyEvaluation();
    e->szRefusal = RefusalOf(reply, NtpToNetwork(reply->qwOriginateTime), t2, t3);
    if (e->szRefusal == NULL) e->szRefusal = UnsynchronisedServer(reply, t3);
    ReadKiss(reply, e);
    if (e->szRefusal != NULL) {
        Refuse(e);
        return;
    }

    // delay = (T4 - T1) - (T3 - T2), modulo 2^64 and read signed; below zero
    // only as far as the resolution of the two clocks allows, and then it
    // counts as zero.
    const int64_t llDelay = (int64_t)((t4 - t1) - (t3 - t2));
    e->szRefusal = ImpossibleTiming(t2, t3, llDelay, reply->cPrecision, nOurPrecision);
    if (e->szRefusal != NULL) {
        Refuse(e);
        return;
    }
    e->qwLoopDelay = llDelay < 0 ? 0 : (uint64_t)llDelay;
    // offset = ((T2 - T1) + (T3 - T4)) / 2, each difference read signed
    e->llOffset = HalvedSum((int64_t)(t2 - t1), (int64_t)(t3 - t4));
    e->dwReferenceId = (uint32_t)t3;
    e->qwRootDelay = NtpShortToNtp(reply->dwRootDelay) + e->qwLoopDelay;  // at most 2^48 + 2^63
    e->qwRootDispersion = NtpShortToNtp(reply->dwRootDispersion);

    FormatSecondsLine(e->aszLines[0], "応答に", e->qwLoopDelay, "秒掛かっています");
    FormatOffsetLine(e->aszLines[1], e->llOffset);
    e->nLines = 2;

    e->fDelayAccepted = e->qwLoopDelay <= qwAcceptableMaxLoopDelay;
    e->fCorrect = e->fDelayAccepted && OffsetMagnitude(e->llOffset) > qwIgnorableMaxTimeDifference;
}

void FormatCorrectionLine(LogLineBuffer& line, int64_t llOffset)
{
    FormatSecondsLine(line, "時刻を", OffsetMagnitude(llOffset), llOffset < 0 ? "秒遅らせました" : "秒進めました");
}

LeapVerdict WeighLeap(LeapWitness* witness, int64_t llOffset, bool fCorrect, uint64_t qwIgnorableMaxTimeDifference)
{
    if (witness->fWaiting) {
        witness->fWaiting = false;
        // Modulo 2^64, as the clock is set: offsets 136 years apart name the same time.
        int64_t llDisagreement = (int64_t)((uint64_t)llOffset - (uint64_t)witness->llOffset);
        if (OffsetMagnitude(llDisagreement) <= qwIgnorableMaxTimeDifference) return LEAP_WITNESSED;
        // A witness that finds the clock right shows the leap was bogus: a good reply.
        return fCorrect ? LEAP_DISPUTED : LEAP_DROPPED;
    }
    if (!fCorrect || OffsetMagnitude(llOffset) <= MAX_UNWITNESSED_CORRECTION) return LEAP_NONE;
    witness->fWaiting = true;
    witness->llOffset = llOffset;
    return LEAP_AWAITED;
}
