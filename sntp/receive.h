// The UDP steps that the client and server sockets share: sending the client
// request, and taking one datagram off a socket with its arrival time, its
// length check and its two diagnostic lines in the activity log.
#pragma once

#include <windows.h>
#include <winsock.h>

#include "sntp/packet.h"

struct ReceivedPacket {
    NtpPacket packet;       // the first 48 bytes of the datagram
    int nLength;            // 48 or 68
    sockaddr_in saFrom;     // the sender
    NtpTimestamp qwArrival; // T4, read right after the receive
    uint8_t abDatagram[NTP_PACKET_WITH_AUTHENTICATOR_SIZE];  // receive buffer
};

// Sends the 48-byte client request stamped with NtpNow(); returns sendto's
// result (48, or SOCKET_ERROR for the caller to report). Logs nothing.
int SendClientRequest(SOCKET sock, const sockaddr_in* saTo);

// Receives one datagram for a select notification's event word. False when
// nothing usable arrived (a line says why, none for a non-read event).
bool ReceivePacket(SOCKET sock, WORD event, ReceivedPacket* received);
