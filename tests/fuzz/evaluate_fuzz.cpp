// Any reply, with any arrival time T4 and any thresholds, through the
// client's judgement. Input: T4, the acceptable loop delay and the ignorable
// difference (8 bytes each, big-endian), then the reply's bytes.
#include <stddef.h>
#include <stdint.h>
#include <string.h>

#include "fuzz_checks.h"
#include "sntp/evaluate.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 24) return 0;
    const NtpTimestamp t4 = ReadBig64(data);
    const uint64_t qwMaxDelay = ReadBig64(data + 8);
    const uint64_t qwIgnorable = ReadBig64(data + 16);
    uint8_t datagram[NTP_PACKET_SIZE] = {};
    memcpy(datagram, data + 24, size - 24 < sizeof datagram ? size - 24 : sizeof datagram);
    NtpPacket reply;
    DecodePacket(datagram, &reply);

    ReplyEvaluation e;
    EvaluateReply(&reply, NtpToNetwork(reply.qwOriginateTime), t4, qwMaxDelay, qwIgnorable, -23, &e);
    FUZZ_REQUIRE(e.nLines == (e.szRefusal != NULL ? 1 : 2));
    for (int i = 0; i < e.nLines; ++i) RequireSoundLine(e.aszLines[i]);
    if (e.szRefusal != NULL) {
        FUZZ_REQUIRE(!e.fDelayAccepted && !e.fCorrect);
        return 0;
    }
    // Nothing an unsynchronised server sends is judged.
    FUZZ_REQUIRE(reply.bStratum < 16 && reply.qwReferenceTime != 0 && reply.cPrecision <= 0);
    FUZZ_REQUIRE(e.fDelayAccepted == (e.qwLoopDelay <= qwMaxDelay));
    // The offset is the exact halved sum of the two signed differences.
    const __int128 sum = (__int128)(int64_t)(NtpToNetwork(reply.qwReceiveTime) - NtpToNetwork(reply.qwOriginateTime)) +
                         (int64_t)(NtpToNetwork(reply.qwTransmitTime) - t4);
    FUZZ_REQUIRE(e.llOffset == (int64_t)(sum / 2));
    FUZZ_REQUIRE(e.fCorrect == (e.fDelayAccepted && OffsetMagnitude(e.llOffset) > qwIgnorable));
    FUZZ_REQUIRE(e.dwReferenceId == (uint32_t)NtpToNetwork(reply.qwTransmitTime));
    if (e.fCorrect) {
        LogLineBuffer line;
        FormatCorrectionLine(line, e.llOffset);
        RequireSoundLine(line);
    }
    return 0;
}
