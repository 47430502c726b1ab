#include "sntp/engine_host.h"

#include "log/log_format.h"
#include "sntp/host_calls.h"

namespace {

EngineHost host = {};

}  // namespace

void SetEngineHost(const EngineHost& given)
{
    host = given;
}

int HostWatchSocket(SOCKET sock, EngineSocket role, long lEvents)
{
    return host.pfnWatchSocket != NULL ? host.pfnWatchSocket(sock, role, lEvents) : WSAENOTSOCK;
}

HANDLE HostLookUpHost(const char* szName, char* abEntry, int cbEntry)
{
    if (host.pfnLookUpHost != NULL) return host.pfnLookUpHost(szName, abEntry, cbEntry);
    WSASetLastError(WSAEINVAL);
    return 0;
}

HANDLE HostLookUpService(const char* szService, const char* szProtocol, char* abEntry, int cbEntry)
{
    if (host.pfnLookUpService != NULL) return host.pfnLookUpService(szService, szProtocol, abEntry, cbEntry);
    WSASetLastError(WSAEINVAL);
    return 0;
}

void HostLog(const char* text)
{
    if (host.pfnLogLine != NULL) host.pfnLogLine(text);
}

void HostLogError(const char* name, int code)
{
    LogLineBuffer line;
    FormatErrorLine(line, name, code);
    HostLog(line);
}

void HostReplyJudged(const JudgedReply& reply)
{
    if (host.pfnReplyJudged != NULL) host.pfnReplyJudged(reply);
}

void HostStateChanged(ClientFace face)
{
    if (host.pfnStateChanged != NULL) host.pfnStateChanged(face);
}

ClockSetResult HostSetClock(NtpTimestamp qwTime)
{
    return host.pfnSetClock != NULL ? host.pfnSetClock(qwTime) : CLOCK_FAILED;
}
