// The 48-byte SNTP message as it travels on the wire, the client request
// built from a timestamp, and the decoding and log lines of a received
// header. Pure: no socket or clock in here.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include "log/log_format.h"
#include "timebase/ntp_time.h"

// Every multi-byte field holds its wire image, most significant byte first;
// the four timestamps are read and written through NtpToNetwork.
struct NtpPacket {
    uint8_t bLiVnMode;          // leap indicator bits 7-6, version 5-3, mode 2-0
    uint8_t bStratum;
    uint8_t bPoll;              // unsigned, 0 to 255
    int8_t cPrecision;          // signed power of two
    uint32_t dwRootDelay;       // NTP short: 16.16 seconds
    uint32_t dwRootDispersion;  // NTP short: 16.16 seconds
    uint32_t dwReferenceId;
    uint64_t qwReferenceTime;
    uint64_t qwOriginateTime;   // T1
    uint64_t qwReceiveTime;     // T2
    uint64_t qwTransmitTime;    // T3
};

static_assert(sizeof(NtpPacket) == 48, "an SNTP message is 48 bytes");
static_assert(offsetof(NtpPacket, dwRootDelay) == 4, "root delay at byte 4");
static_assert(offsetof(NtpPacket, dwReferenceId) == 12, "reference identifier at byte 12");
static_assert(offsetof(NtpPacket, qwReferenceTime) == 16, "reference timestamp at byte 16");
static_assert(offsetof(NtpPacket, qwOriginateTime) == 24, "originate timestamp at byte 24");
static_assert(offsetof(NtpPacket, qwTransmitTime) == 40, "transmit timestamp at byte 40");

enum {
    NTP_PACKET_SIZE = 48,
    NTP_PACKET_WITH_AUTHENTICATOR_SIZE = 68,  // 4-byte key identifier and 16-byte digest, never examined
    // The longest datagram taken off a socket: room for extension fields
    // (RFC 7822) after the header, as much as an Ethernet frame carries.
    NTP_DATAGRAM_MAX_SIZE = 1472,
    NTP_MODE_CLIENT = 3,
    NTP_MODE_SERVER = 4,
    NTP_LEAP_ALARM = 3,
    NTP_PORT = 123,  // the service port, also where a failed lookup of "ntp" falls back to
};

int NtpLeapIndicator(const NtpPacket* packet);
int NtpVersion(const NtpPacket* packet);
int NtpMode(const NtpPacket* packet);

// The client request: LI 0, version 4, mode 3, transmit timestamp t, all else zero.
void BuildClientRequest(NtpTimestamp t, NtpPacket* request);

// What server mode tells its clients of its own time: taken from the last
// reply whose delay was accepted, and the precision of this machine's clock.
struct ServerReference {
    uint32_t dwReferenceId;        // low 32 bits of that reply's transmit timestamp
    NtpTimestamp qwReferenceTime;  // when it arrived, or the time the clock was then set to
    uint64_t qwRootDelay;          // 32.32: the server's root delay plus the loop delay to it
    uint64_t qwRootDispersion;     // 32.32: the server's root dispersion
    int nPrecision;                // a power of two, in seconds
    int nStratum;                  // ours: that reply's server's plus one
};

// How far a clock left alone may drift in a 32.32 duration: 15 ppm of it
// (RFC 5905's bound), truncated.
uint64_t DriftBound(uint64_t qwSince);

// An NTP short field's wire image (16.16 seconds) as a 32.32 duration.
uint64_t NtpShortToNtp(uint32_t dwWire);

// A 32.32 duration as an NTP short field's wire image: rounded up, so that
// nothing is understated, and at most 65535.99998 s.
uint32_t NtpToNtpShort(uint64_t qwDuration);

// The server's answer to a request (its first 48 bytes): mode 4, the
// reference's stratum, leap indicator 0, the request's version and poll; the reference's
// identifier, timestamp, precision and root delay; as root dispersion the
// reference's plus the precision plus 15 ppm of the time since the reference
// time (RFC 5905's bound on the drift since); originate = the request's
// transmit bytes as they are; receive = transmit = qwArrival.
void BuildServerReply(const uint8_t* request, NtpTimestamp qwArrival, const ServerReference* reference,
                      NtpPacket* reply);

// Whether server mode answers a request from this sender: versions 1 to 4
// only, from a port other than 0 and a unicast address (not 0.0.0.0, not
// multicast 224/4, not 240/4 with the broadcast address), whose replies
// could only go astray or be turned against a third machine.
bool IsServableRequest(const NtpPacket* request, const uint8_t abAddress[4], unsigned port);

// The one rule of length: only 48-byte messages and 68-byte messages with
// an authenticator are judged.
bool IsAcceptedLength(int nBytes);

// The first 48 bytes of a datagram of accepted length.
void DecodePacket(const uint8_t* datagram, NtpPacket* packet);

// "length=%d addr=%d.%d.%d.%d:%d": the count waiting before the receive, the
// sender's IPv4 address (first byte first) and its port in host order.
void FormatSenderLine(LogLineBuffer& line, int nWaiting, const uint8_t abAddress[4], unsigned port);

// "LI%d VN%d MODE%d Stratum%d Poll%d Precision%d" of a received header.
void FormatHeaderLine(LogLineBuffer& line, const NtpPacket* packet);
