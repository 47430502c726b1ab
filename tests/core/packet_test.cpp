#include <gtest/gtest.h>
#include <string.h>

#include <string>
#include <vector>

#include "sntp/packet.h"

namespace {

NtpPacket PacketFromBytes(std::initializer_list<uint8_t> head)
{
    uint8_t datagram[NTP_PACKET_WITH_AUTHENTICATOR_SIZE] = {};
    memcpy(datagram, head.begin(), head.size());
    NtpPacket packet;
    DecodePacket(datagram, &packet);
    return packet;
}

std::string HeaderLine(const NtpPacket& packet)
{
    LogLineBuffer line;
    FormatHeaderLine(line, &packet);
    return line;
}

TEST(Packet, ClientRequestIsByteExact)
{
    NtpPacket request;
    memset(&request, 0xAA, sizeof request);
    BuildClientRequest(0xE123456780000000ull, &request);

    uint8_t expected[48] = {0x23};
    const uint8_t transmit[8] = {0xE1, 0x23, 0x45, 0x67, 0x80, 0x00, 0x00, 0x00};
    memcpy(expected + 40, transmit, 8);
    EXPECT_EQ(memcmp(&request, expected, 48), 0);
    EXPECT_EQ(NtpLeapIndicator(&request), 0);
    EXPECT_EQ(NtpVersion(&request), 4);
    EXPECT_EQ(NtpMode(&request), NTP_MODE_CLIENT);
}

TEST(Packet, HeaderFieldsDecodeAndLog)
{
    const struct {
        std::initializer_list<uint8_t> head;
        const char* line;
    } rows[] = {
        {{0x24, 0x02, 0x06, 0xFA}, "LI0 VN4 MODE4 Stratum2 Poll6 Precision-6"},
        {{0x1C, 0x01, 0xFF, 0x7F}, "LI0 VN3 MODE4 Stratum1 Poll255 Precision127"},
        {{0xE4, 0x00, 0x00, 0x80}, "LI3 VN4 MODE4 Stratum0 Poll0 Precision-128"},
        {{0xFF, 0xFF, 0x11, 0xE9}, "LI3 VN7 MODE7 Stratum255 Poll17 Precision-23"},
        {{0x00, 0x00, 0x00, 0x00}, "LI0 VN0 MODE0 Stratum0 Poll0 Precision0"},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(HeaderLine(PacketFromBytes(row.head)), row.line);
    }
}

TEST(Packet, TimestampsReadInWireOrder)
{
    uint8_t datagram[48] = {0x24, 0x02, 0x06, 0xFA};
    const uint8_t t1[8] = {0xEE, 0xC0, 0x75, 0x80, 0x00, 0x00, 0x00, 0x01};
    const uint8_t t3[8] = {0xBC, 0x17, 0xC2, 0x00, 0x80, 0x00, 0x00, 0x00};
    memcpy(datagram + 24, t1, 8);
    memcpy(datagram + 40, t3, 8);
    datagram[12] = 0x7F;  // reference identifier 127.0.0.1 as bytes
    datagram[15] = 0x01;
    NtpPacket packet;
    DecodePacket(datagram, &packet);
    EXPECT_EQ(NtpToNetwork(packet.qwOriginateTime), 0xEEC0758000000001ull);
    EXPECT_EQ(NtpToNetwork(packet.qwReceiveTime), 0u);
    EXPECT_EQ(NtpToNetwork(packet.qwTransmitTime), 0xBC17C20080000000ull);
    EXPECT_EQ(packet.bStratum, 2);
    EXPECT_EQ(memcmp(&packet.dwReferenceId, datagram + 12, 4), 0);
}

TEST(Packet, ServerReplyTellsItsOwnReferenceAndKeepsTheRequestsFields)
{
    uint8_t request[48];
    for (int i = 0; i < 48; ++i) request[i] = uint8_t(0xA0 + i);
    request[0] = 0xDB;  // LI 3, version 3, mode 3
    // Reference time 1000 s before the arrival: 15 ppm of it is 0.015 s.
    const ServerReference reference = {0x12345678u, 0xEEC0719880000000ull, 0x0000000140000001ull,
                                       0x0000000080000000ull, -23, 4};
    NtpPacket reply;
    BuildServerReply(request, 0xEEC0758080000000ull, &reference, &reply);

    const uint8_t expected[48] = {
        0x1C, 0x04, 0xA2, 0xE9,                          // LI 0, version 3, mode 4; stratum 4; poll; precision -23
        0x00, 0x01, 0x40, 0x01,                          // root delay 1.25 s and 2^-32 s, rounded up
        0x00, 0x00, 0x83, 0xD8,                          // root dispersion 0.5 + 0.015 s and 2^-23 s, rounded up
        0x12, 0x34, 0x56, 0x78,                          // reference identifier
        0xEE, 0xC0, 0x71, 0x98, 0x80, 0x00, 0x00, 0x00,  // reference timestamp
        0xC8, 0xC9, 0xCA, 0xCB, 0xCC, 0xCD, 0xCE, 0xCF,  // originate: the request's transmit bytes
        0xEE, 0xC0, 0x75, 0x80, 0x80, 0x00, 0x00, 0x00,  // receive: the arrival
        0xEE, 0xC0, 0x75, 0x80, 0x80, 0x00, 0x00, 0x00,  // transmit: the same
    };
    EXPECT_EQ(memcmp(&reply, expected, 48), 0) << testing::PrintToString(std::vector<uint8_t>(
        (const uint8_t*)&reply, (const uint8_t*)&reply + 48));

    // A zero transmit timestamp is echoed as it is.
    memset(request, 0, sizeof request);
    request[0] = 0x23;
    BuildServerReply(request, 0xEEC0758080000000ull, &reference, &reply);
    EXPECT_EQ(reply.bLiVnMode, 0x24);
    EXPECT_EQ(reply.qwOriginateTime, 0u);
}

TEST(Packet, OnlyProperClientsAreServed)
{
    const struct {
        uint8_t liVnMode;
        uint8_t address[4];
        unsigned port;
        bool served;
    } rows[] = {
        {0x23, {192, 168, 1, 20}, 123, true},  {0x1B, {10, 0, 0, 1}, 40000, true},  // versions 4 and 3
        {0x0B, {10, 0, 0, 1}, 40000, true},    {0x03, {10, 0, 0, 1}, 40000, false},  // 1 yes, 0 no
        {0x2B, {10, 0, 0, 1}, 40000, false},   {0x3B, {10, 0, 0, 1}, 40000, false},  // 5, 7
        {0x23, {10, 0, 0, 1}, 0, false},       {0x23, {0, 0, 0, 0}, 123, false},
        {0x23, {255, 255, 255, 255}, 123, false}, {0x23, {224, 0, 1, 1}, 123, false},
        {0x23, {239, 255, 255, 250}, 123, false}, {0x23, {240, 0, 0, 1}, 123, false},
        {0x23, {223, 255, 255, 254}, 123, true}, {0x23, {0, 0, 0, 1}, 123, true},
    };
    for (const auto& row : rows) {
        NtpPacket request = {};
        request.bLiVnMode = row.liVnMode;
        EXPECT_EQ(IsServableRequest(&request, row.address, row.port), row.served)
            << int(row.liVnMode) << " " << int(row.address[0]) << "." << int(row.address[3]) << ":" << row.port;
    }
}

TEST(Packet, ServerRootDelayAndDispersionRoundUpGrowAndSaturate)
{
    const uint64_t kArrival = 0xEEC0758080000000ull;
    const struct {
        uint64_t qwRootDelay, qwRootDispersion;
        int nPrecision;
        int64_t llSince;  // 32.32, arrival minus reference time
        uint8_t abDelay[4], abDispersion[4];
    } rows[] = {
        {0, 0, -23, 0, {0, 0, 0, 0}, {0, 0, 0, 1}},                         // 2^-23 s is under one unit
        {0, 0, -6, -(1ll << 32), {0, 0, 0, 0}, {0, 0, 4, 0}},               // clock read before: no growth
        {0, 0, -23, 86400ll << 32, {0, 0, 0, 0}, {0, 1, 0x4B, 0xC7}},       // a day: 1.296 s
        {0xFFFF0000FFFFull, 0, -23, 0, {0xFF, 0xFF, 0, 1}, {0, 0, 0, 1}},    // just under the top
        {1ull << 48, UINT64_MAX, -23, 0, {0xFF, 0xFF, 0xFF, 0xFF}, {0xFF, 0xFF, 0xFF, 0xFF}},
    };
    const uint8_t request[48] = {0x23};
    for (const auto& row : rows) {
        const ServerReference reference = {0, kArrival - (uint64_t)row.llSince, row.qwRootDelay,
                                           row.qwRootDispersion, row.nPrecision, 2};
        NtpPacket reply;
        BuildServerReply(request, kArrival, &reference, &reply);
        EXPECT_EQ(memcmp(&reply.dwRootDelay, row.abDelay, 4), 0) << row.qwRootDelay;
        EXPECT_EQ(memcmp(&reply.dwRootDispersion, row.abDispersion, 4), 0) << row.llSince;
    }
}

TEST(Packet, SenderLineShowsWaitingCountAddressAndPort)
{
    const struct {
        int waiting;
        uint8_t address[4];
        unsigned port;
        const char* line;
    } rows[] = {
        {48, {192, 168, 1, 5}, 123, "length=48 addr=192.168.1.5:123"},
        {68, {127, 0, 0, 1}, 65535, "length=68 addr=127.0.0.1:65535"},
        {1500, {255, 255, 255, 255}, 0, "length=1500 addr=255.255.255.255:0"},
    };
    for (const auto& row : rows) {
        LogLineBuffer line;
        FormatSenderLine(line, row.waiting, row.address, row.port);
        EXPECT_STREQ(line, row.line);
    }
}

}  // namespace
