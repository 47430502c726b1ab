// The UDP steps that the client and server sockets share: opening and
// closing them, sending the client request, and taking one datagram off a
// socket with its arrival time and its length check, and its two diagnostic
// lines in the activity log (or the line of the step that failed).
#pragma once

#include <windows.h>
#include <winsock.h>

#include "sntp/engine_host.h"
#include "sntp/packet.h"

struct ReceivedPacket {
    NtpPacket packet;       // the first 48 bytes of the datagram
    int nLength;            // the datagram's; 48 or 68 when RECEIVED
    int nWaiting;           // the bytes that were waiting, as the sender line tells them
    sockaddr_in saFrom;     // the sender
    NtpTimestamp qwArrival; // T4, read right after the receive
    uint8_t abDatagram[NTP_DATAGRAM_MAX_SIZE];  // receive buffer
};

// Opens a UDP socket on every local address at port (0: one the system
// chooses) into *pSock, its readiness (FD_READ and FD_WRITE) watched by the
// host as the role's. False after logging the failed step ("socket",
// "bind", "WSAAsyncSelect"), with its error in *pnError when given; a
// socket whose bind or watch failed stays in *pSock.
bool OpenSelectedSocket(SOCKET* pSock, u_short port, EngineSocket role, int* pnError = NULL);

// Shuts *pSock down in both directions, closes it and marks it invalid;
// false when it was not open.
bool CloseSocket(SOCKET* pSock);

// Sends the 48-byte client request stamped with t1; returns sendto's result
// (48, or SOCKET_ERROR for the caller to report). Logs nothing.
int SendClientRequest(SOCKET sock, const sockaddr_in* saTo, NtpTimestamp t1);

enum ReceiveResult {
    RECEIVED,               // a datagram of 48 or 68 bytes
    RECEIVED_NOTHING,       // none was waiting
    RECEIVE_FIONREAD_FAILED,
    RECEIVE_RECVFROM_FAILED,
    RECEIVED_WRONG_LENGTH,  // a datagram of another length, taken off and not used
};

// Takes one datagram off the socket, if one waits; logs nothing. Only with
// fMeasure is FIONREAD asked what waits, for the sender line (else nWaiting
// is 0): a flood's datagrams, which are only counted, need one call less.
ReceiveResult TakeDatagram(SOCKET sock, ReceivedPacket* received, bool fMeasure);

// The lines of what TakeDatagram found: the sender and header lines of a
// datagram, or the line of the step that failed (nothing waiting counts as a
// failed recvfrom).
void LogDatagram(ReceiveResult result, const ReceivedPacket* received);

// Receives and logs one datagram for a select notification's event word.
// False when nothing usable arrived (a line says why, none for a non-read
// event).
bool ReceivePacket(SOCKET sock, WORD event, ReceivedPacket* received);
