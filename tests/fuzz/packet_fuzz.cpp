// Any datagram through the pure half of the receive step: the length check,
// the decoding, the sender and header lines; and any bytes through the code
// page 932 cut that keeps a shortened line whole.
#include <stddef.h>
#include <stdint.h>
#include <string.h>

#include "fuzz_checks.h"
#include "sntp/packet.h"

namespace {

bool IsLeadByte(uint8_t b)
{
    return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC);
}

// The cut must fall where a walk from the start ends a character, and no
// further whole character may fit after it.
void CheckBoundary(const uint8_t* data, size_t size)
{
    size_t cut = Cp932Boundary((const char*)data, size);
    size_t i = 0;
    while (i < cut) i += IsLeadByte(data[i]) ? 2 : 1;
    FUZZ_REQUIRE(i == cut && cut <= size);
    if (cut < size) FUZZ_REQUIRE(IsLeadByte(data[cut]) && cut + 1 == size);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    CheckBoundary(data, size);

    // The receive buffer holds 68 bytes; the rest of a longer datagram is lost.
    uint8_t datagram[NTP_PACKET_WITH_AUTHENTICATOR_SIZE] = {};
    memcpy(datagram, data, size < sizeof datagram ? size : sizeof datagram);
    LogLineBuffer line;
    unsigned port = size >= 2 ? (unsigned)(data[0] << 8 | data[1]) : 0;
    FormatSenderLine(line, (int)size, datagram, port);
    RequireSoundLine(line);

    if (!IsAcceptedLength((int)size)) return 0;
    NtpPacket packet;
    DecodePacket(datagram, &packet);
    FUZZ_REQUIRE(memcmp(&packet, data, sizeof packet) == 0);
    FUZZ_REQUIRE(NtpLeapIndicator(&packet) >= 0 && NtpLeapIndicator(&packet) <= 3);
    FUZZ_REQUIRE(NtpVersion(&packet) >= 0 && NtpVersion(&packet) <= 7);
    FUZZ_REQUIRE(NtpMode(&packet) >= 0 && NtpMode(&packet) <= 7);
    FormatHeaderLine(line, &packet);
    RequireSoundLine(line);
    return 0;
}
