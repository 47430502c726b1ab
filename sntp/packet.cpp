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

void BuildServerReply(const uint8_t* request, NtpTimestamp qwArrival, uint32_t dwReferenceId,
                      NtpTimestamp qwReferenceTime, NtpPacket* reply)
{
    memcpy(reply, request, sizeof *reply);
    reply->bLiVnMode = (uint8_t)((request[0] & 0x38) | NTP_MODE_SERVER);
    reply->bStratum = 2;
    const uint8_t abReferenceId[4] = {(uint8_t)(dwReferenceId >> 24), (uint8_t)(dwReferenceId >> 16),
                                      (uint8_t)(dwReferenceId >> 8), (uint8_t)dwReferenceId};
    memcpy(&reply->dwReferenceId, abReferenceId, 4);
    reply->qwReferenceTime = NtpToNetwork(qwReferenceTime);
    reply->qwOriginateTime = reply->qwTransmitTime;  // still the request's, byte for byte
    reply->qwReceiveTime = NtpToNetwork(qwArrival);
    reply->qwTransmitTime = reply->qwReceiveTime;
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
