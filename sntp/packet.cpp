#include "sntp/packet.h"

#include <string.h>

// The timestamp fields hold NtpToNetwork's result, whose memory image is the
// wire form only on a little-endian host.
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ != __ORDER_LITTLE_ENDIAN__
#error "NtpPacket's wire images assume a little-endian host"
#endif

int NtpLeapIndicator(const NtpPacket* packet)
{
    return packet->bLiVnMode >> 6;
}

int NtpVersion(const NtpPacket* packet)
{
    return (packet->bLiVnMode >> 3) & 7;
}

int NtpMode(const NtpPacket* packet)
{
    return packet->bLiVnMode & 7;
}

void BuildClientRequest(NtpTimestamp t, NtpPacket* request)
{
    memset(request, 0, sizeof *request);
    request->bLiVnMode = (0 << 6) | (4 << 3) | NTP_MODE_CLIENT;
    request->qwTransmitTime = NtpToNetwork(t);
}

namespace {

// A 32-bit field between host order and its wire image, either way: the
// timestamps' byte reversal, of the low half.
uint32_t Wire32(uint32_t value)
{
    return (uint32_t)(NtpToNetwork(value) >> 32);
}

uint64_t SaturatingAdd(uint64_t a, uint64_t b)
{
    return a + b < a ? UINT64_MAX : a + b;
}

// dispersion = root dispersion + 2^precision + 15e-6 * (arrival - reference
// time), the last counted from zero when the clock reads before it.
uint64_t RootDispersionAt(const ServerReference* reference, NtpTimestamp qwArrival)
{
    const int64_t llSince = (int64_t)(qwArrival - reference->qwReferenceTime);
    const uint64_t qwDrift = DriftBound(llSince < 0 ? 0 : (uint64_t)llSince);
    const int nShift = reference->nPrecision + 32;
    const uint64_t qwPrecision = nShift < 0 ? 1 : nShift > 63 ? UINT64_MAX : (uint64_t)1 << nShift;
    return SaturatingAdd(SaturatingAdd(reference->qwRootDispersion, qwPrecision), qwDrift);
}

}  // namespace

uint64_t DriftBound(uint64_t qwSince)
{
    return qwSince / 1000000 * 15 + qwSince % 1000000 * 15 / 1000000;
}

uint64_t NtpShortToNtp(uint32_t dwWire)
{
    return (uint64_t)Wire32(dwWire) << 16;
}

uint32_t NtpToNtpShort(uint64_t qwDuration)
{
    return Wire32(qwDuration > 0x0000FFFFFFFF0000ull ? 0xFFFFFFFFu : (uint32_t)((qwDuration + 0xFFFF) >> 16));
}

void BuildServerReply(const uint8_t* request, NtpTimestamp qwArrival, const ServerReference* reference,
                      NtpPacket* reply)
{
    memcpy(reply, request, sizeof *reply);
    reply->bLiVnMode = (uint8_t)((request[0] & 0x38) | NTP_MODE_SERVER);
    reply->bStratum = (uint8_t)reference->nStratum;
    reply->cPrecision = (int8_t)reference->nPrecision;
    reply->dwRootDelay = NtpToNtpShort(reference->qwRootDelay);
    reply->dwRootDispersion = NtpToNtpShort(RootDispersionAt(reference, qwArrival));
    reply->dwReferenceId = Wire32(reference->dwReferenceId);
    reply->qwReferenceTime = NtpToNetwork(reference->qwReferenceTime);
    reply->qwOriginateTime = reply->qwTransmitTime;  // still the request's, byte for byte
    reply->qwReceiveTime = NtpToNetwork(qwArrival);
    reply->qwTransmitTime = reply->qwReceiveTime;
}

bool IsServableRequest(const NtpPacket* request, const uint8_t abAddress[4], unsigned port)
{
    int nVersion = NtpVersion(request);
    if (nVersion < 1 || nVersion > 4 || port == 0) return false;
    bool fUnspecified = abAddress[0] == 0 && abAddress[1] == 0 && abAddress[2] == 0 && abAddress[3] == 0;
    return !fUnspecified && abAddress[0] < 224;
}

bool IsAcceptedLength(int nBytes)
{
    return nBytes == NTP_PACKET_SIZE || nBytes == NTP_PACKET_WITH_AUTHENTICATOR_SIZE;
}

void DecodePacket(const uint8_t* datagram, NtpPacket* packet)
{
    memcpy(packet, datagram, sizeof *packet);
}

void FormatSenderLine(LogLineBuffer& line, int nWaiting, const uint8_t abAddress[4], unsigned port)
{
    FormatLogLine(line, "length=%d addr=%d.%d.%d.%d:%d", nWaiting, abAddress[0], abAddress[1], abAddress[2],
                  abAddress[3], (int)port);
}

void FormatHeaderLine(LogLineBuffer& line, const NtpPacket* packet)
{
    FormatLogLine(line, "LI%d VN%d MODE%d Stratum%d Poll%d Precision%d", NtpLeapIndicator(packet),
                  NtpVersion(packet), NtpMode(packet), packet->bStratum, packet->bPoll, packet->cPrecision);
}
