// The client's judgement of a server reply, pure: from the reply, the time
// T1 its request was sent, its arrival time T4 and the two thresholds to the refusal reason, or to the
// loop delay, the offset, the lines to log and whether to correct the clock.
#pragma once

#include <stdint.h>

#include "log/log_format.h"
#include "sntp/packet.h"

// What a kiss-o'-death (RFC 5905 section 7.4), a stratum 0 reply, asks.
enum KissCode {
    KISS_NONE,  // no kiss, or a code that asks nothing of the client
    KISS_STOP,  // "DENY" or "RSTR": ask this server no more
    KISS_RATE,  // "RATE": ask less often
};

struct ReplyEvaluation {
    const char* szRefusal;    // NULL when the reply passed the checks, else "LI=ALARM", "Statum=0"... "delay<0"
    int nLines;               // lines to log, in order: the refusal, or the delay and the offset
    LogLineBuffer aszLines[2];
    uint64_t qwLoopDelay;     // read unsigned
    int64_t llOffset;         // positive: the local clock is behind the server
    bool fDelayAccepted;      // at most the acceptable loop delay
    bool fCorrect;            // accepted, and the offset's size above the ignorable difference
    uint32_t dwReferenceId;   // low 32 bits of T3
    uint64_t qwRootDelay;     // 32.32: the server's root delay plus the loop delay
    uint64_t qwRootDispersion;  // 32.32: the server's root dispersion
    KissCode nKiss;           // of a stratum 0 reply, whatever else refused it
    char szKissCode[5];       // its four characters, as sent
};

// nOurPrecision: this machine's clock, a power of two in seconds; with the
// reply's own it bounds how far below zero a loop delay may read.
// t1: when the request went out, kept by the client (the request carried
// another number, which the reply's originate field echoes).
void EvaluateReply(const NtpPacket* reply, NtpTimestamp t1, NtpTimestamp t4, uint64_t qwAcceptableMaxLoopDelay,
                   uint64_t qwIgnorableMaxTimeDifference, int nOurPrecision, ReplyEvaluation* evaluation);

// The line after a successful correction by the given offset:
// "時刻を%s秒進めました" forward, "時刻を%s秒遅らせました" back.
void FormatCorrectionLine(LogLineBuffer& line, int64_t llOffset);

// A correction larger than 1,000 s (RFC 5905's panic threshold) waits for a
// second witness: the next accepted reply must find the same offset, within
// the tolerance, before the clock leaps. One corrupt or forged reply then
// cannot throw the clock decades away.
const uint64_t MAX_UNWITNESSED_CORRECTION = 1000ull << 32;

enum LeapVerdict {
    LEAP_NONE,       // no leap waits and none is asked: judge the reply as it is
    LEAP_AWAITED,    // a leap is asked: wait for the next reply to witness it
    LEAP_WITNESSED,  // the next reply agrees: correct by its offset
    LEAP_DISPUTED,   // the next reply disagrees: correct nothing
    LEAP_DROPPED,    // the next reply finds the clock right: the leap is forgotten, the reply judged as it is
};

struct LeapWitness {
    bool fWaiting;     // a leap was asked and waits for its witness
    int64_t llOffset;  // the offset it asked for, 32.32
};

// For each reply whose delay was accepted, with its offset and whether it
// asks for a correction.
LeapVerdict WeighLeap(LeapWitness* witness, int64_t llOffset, bool fCorrect, uint64_t qwIgnorableMaxTimeDifference);
