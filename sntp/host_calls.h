// The engine's own files reach the host through these, never through the
// table itself: a host that left an entry empty costs a refusal, not a crash.
#pragma once

#include "sntp/engine_host.h"

int HostWatchSocket(SOCKET sock, EngineSocket role, long lEvents);
HANDLE HostLookUpHost(const char* szName, char* abEntry, int cbEntry);
HANDLE HostLookUpService(const char* szService, const char* szProtocol, char* abEntry, int cbEntry);
void HostLog(const char* text);
// "%s エラー (%d)"
void HostLogError(const char* name, int code);
void HostReplyJudged(const JudgedReply& reply);
void HostStateChanged(ClientFace face);
ClockSetResult HostSetClock(NtpTimestamp qwTime);
