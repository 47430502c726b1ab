// Any request through server mode's answer. Input: the arrival time and the
// reference time (8 bytes each, big-endian), then the request's bytes.
#include <stddef.h>
#include <stdint.h>
#include <string.h>

#include "fuzz_checks.h"
#include "sntp/packet.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 16) return 0;
    const NtpTimestamp qwArrival = ReadBig64(data);
    const NtpTimestamp qwReference = ReadBig64(data + 8);
    uint8_t request[NTP_PACKET_SIZE] = {};
    memcpy(request, data + 16, size - 16 < sizeof request ? size - 16 : sizeof request);

    NtpPacket reply;
    BuildServerReply(request, qwArrival, (uint32_t)qwReference, qwReference, &reply);
    const uint8_t* bytes = (const uint8_t*)&reply;
    FUZZ_REQUIRE(NtpMode(&reply) == NTP_MODE_SERVER && NtpLeapIndicator(&reply) == 0);
    FUZZ_REQUIRE(NtpVersion(&reply) == ((request[0] >> 3) & 7) && reply.bStratum == 2);
    FUZZ_REQUIRE(memcmp(bytes + 2, request + 2, 10) == 0);   // poll, precision, root delay and dispersion
    FUZZ_REQUIRE(memcmp(bytes + 24, request + 40, 8) == 0);  // originate: the request's transmit bytes
    FUZZ_REQUIRE(NtpToNetwork(reply.qwReceiveTime) == qwArrival && reply.qwTransmitTime == reply.qwReceiveTime);
    FUZZ_REQUIRE(NtpToNetwork(reply.qwReferenceTime) == qwReference);
    return 0;
}
