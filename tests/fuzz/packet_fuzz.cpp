// Any datagram through the pure half of the receive step: the length check,
// the decoding, the sender and header lines; and any bytes through the code
// page 932 walk and the cut that keeps a shortened line whole.
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

// A line made of any text is the whole text when it fits, else the text cut
// where the walk ends its last whole character within the line's 79 bytes.
void CheckCutLine(const uint8_t* data, size_t size)
{
    char text[200];
    size_t length = strnlen((const char*)data, size < sizeof text - 1 ? size : sizeof text - 1);
    memcpy(text, data, length);
    text[length] = '\0';
    LogLineBuffer line;
    FormatLogLine(line, "%s", text);
    size_t kept = length < LOG_LINE_SIZE ? length : Cp932Boundary(text, LOG_LINE_SIZE - 1);
    FUZZ_REQUIRE(strlen(line) == kept && memcmp(line, text, kept) == 0);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    CheckBoundary(data, size);
    CheckCutLine(data, size);

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
    FUZZ_REQUIRE(NtpLeapIndicator(&packet) == data[0] / 64);
    FUZZ_REQUIRE(NtpVersion(&packet) == data[0] / 8 % 8);
    FUZZ_REQUIRE(NtpMode(&packet) == data[0] % 8);
    FormatHeaderLine(line, &packet);
    RequireSoundLine(line);
    return 0;
}
