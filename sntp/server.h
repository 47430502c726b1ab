// Server mode: answers other machines' SNTP client requests on UDP port 123
// one stratum below its own server, but only while the client keeps finding
// the clock right and only proper clients; other requests are logged (or,
// in a flood, counted) and left unanswered.
#pragma once

#include <windows.h>
#include <winsock.h>

#include "sntp/client.h"
#include "timebase/ntp_time.h"

// Where server mode learns what the client found: the client's report (a
// test plays one).
extern ClientReport (*clientForServer)();

// Listens on port 123 of every local address, its readiness watched by the
// host as the server socket's. A running service is stopped first. When the
// port cannot be had, the log says why (another program holds it, perhaps
// the Windows Time service) and server mode does not run.
void StartServerMode();

// The lines after a failed start, by the error of the step that failed.
void ExplainNotStarted(int nError);

// The time is worth handing out only while the client keeps checking it:
// found right (or set) by a reply within the limit that the tray warns at.
bool ClockIsChecked(const ClientReport& report);

// Whether server mode runs: started, and its port had.
bool ServerModeRunning();

// Closes the server socket, if any, with the line "SNTPサービス終了" (after
// the line that sums up the datagrams counted and not yet told).
void StopServerMode();

// For each readiness notice of the server socket: the socket and the event
// bits. Reads the datagrams waiting, in a bounded batch, and
// answers the client requests (mode 3) among them. Beyond a couple of
// datagrams a second, their lines are counted instead of written.
void OnServerRead(SOCKET sock, WORD event);

// For each tick, and before each batch of datagrams: once a second with
// datagrams counted is over, the line that sums them up, "SNTP要求 N件
// (ログ省略)".
void SumUpServerRequests();

// For each tick: while it runs, server mode falls silent once the client
// has found the clock right by no reply for longer than the tray's warning
// waits (or its correction was refused), and answers again after a reply
// that finds it right; one line for each of the two.
void WatchServedClock();

// Sends the reply to a request (at least 48 bytes) that arrived at
// qwArrival; sendto's result, or 0 while the time is not checked or behind a server
// of stratum 15 or more. Logs nothing.
int SendServerReply(SOCKET sock, const uint8_t* request, NtpTimestamp qwArrival, const sockaddr_in* saTo);
