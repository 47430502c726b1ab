// Any request through server mode's answer. Input: the arrival time, the
// reference time, the root delay and the root dispersion (8 bytes each,
// big-endian), the precision (1 byte), then the request's bytes.
#include <stddef.h>
#include <stdint.h>
#include <string.h>

#include "fuzz_checks.h"
#include "sntp/packet.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const size_t kHead = 33;
    if (size < kHead) return 0;
    const NtpTimestamp qwArrival = ReadBig64(data);
    const NtpTimestamp qwReference = ReadBig64(data + 8);
    const ServerReference reference = {(uint32_t)qwReference, qwReference, ReadBig64(data + 16), ReadBig64(data + 24),
                                       (int8_t)data[32], 2};
    uint8_t request[NTP_PACKET_SIZE] = {};
    memcpy(request, data + kHead, size - kHead < sizeof request ? size - kHead : sizeof request);

    NtpPacket reply;
    BuildServerReply(request, qwArrival, &reference, &reply);
    const uint8_t* bytes = (const uint8_t*)&reply;
    FUZZ_REQUIRE(NtpMode(&reply) == NTP_MODE_SERVER && NtpLeapIndicator(&reply) == 0);
    FUZZ_REQUIRE(NtpVersion(&reply) == ((request[0] >> 3) & 7) && reply.bStratum == 2);
    FUZZ_REQUIRE(reply.bPoll == request[2] && reply.cPrecision == (int8_t)data[32]);
    // Never understated: rounded up, or at the top of the field.
    const uint64_t qwDelay = NtpShortToNtp(reply.dwRootDelay), qwDispersion = NtpShortToNtp(reply.dwRootDispersion);
    FUZZ_REQUIRE(qwDelay >= reference.qwRootDelay || qwDelay == 0xFFFFFFFF0000ull);
    FUZZ_REQUIRE(qwDelay < reference.qwRootDelay + 0x10000 || reference.qwRootDelay > 0xFFFFFFFF0000ull);
    FUZZ_REQUIRE(qwDispersion > reference.qwRootDispersion || qwDispersion == 0xFFFFFFFF0000ull);
    FUZZ_REQUIRE(memcmp(bytes + 24, request + 40, 8) == 0);  // originate: the request's transmit bytes
    FUZZ_REQUIRE(NtpToNetwork(reply.qwReceiveTime) == qwArrival && reply.qwTransmitTime == reply.qwReceiveTime);
    FUZZ_REQUIRE(NtpToNetwork(reply.qwReferenceTime) == qwReference);
    return 0;
}
