#include "sntp/client.h"

#include <string.h>

#include "log/activity_log.h"
#include "sntp/lookups.h"
#include "sntp/receive.h"
#include "sntp/tick.h"
#include "state/program_state.h"

namespace {

// The pending lookups; NULL when none is.
Lookup* pHostLookup = NULL;
Lookup* pServLookup = NULL;

// The system reads the name after the lookup call has returned.
char szServerName[256];

void CancelPending(Lookup** ppLookup)
{
    if (*ppLookup == NULL) return;
    CancelLookup(*ppLookup);
    *ppLookup = NULL;
}

void GoOffline()
{
    client.fCycleActive = 0;
    client.fOnline = 0;
    client.fAwaitingReply = 0;  // a reply to the last request is late now
    LogLine("交信終了");
    CloseClientSocket();
}

// The lookup when it started; else NULL, after logging the failed step.
Lookup* Started(Lookup* lookup, const char* szStep)
{
    if (lookup != NULL && lookup->hTask != 0) return lookup;
    LogError(szStep, lookup == NULL ? WSAENOBUFS : WSAGetLastError());
    return NULL;
}

void StartServiceLookup()
{
    Lookup* lookup = TakeLookup();
    if (lookup != NULL) {
        lookup->hTask = WSAAsyncGetServByName(shell.MainWindow, shell.msgGetServByXXXX, "ntp", "udp",
                                              lookup->abEntry, sizeof lookup->abEntry);
    }
    pServLookup = Started(lookup, "WSAAsyncGetServByXXXX 初期化");
}

// The server's address is known: the port comes next.
void UseServerAddress(const void* abAddress)
{
    LogLine("ホスト確認成功");
    memset(&client.saServer, 0, sizeof client.saServer);
    client.saServer.sin_family = AF_INET;
    memcpy(&client.saServer.sin_addr, abAddress, 4);
    StartServiceLookup();
}

// A dotted address is the address: it needs no lookup, and may have no
// reverse name. Anything else, an empty text or one that starts with a digit
// too, is a host name.
void StartHostLookup()
{
    unsigned long address = inet_addr(szServerName);
    if (address != INADDR_NONE) {
        UseServerAddress(&address);
        return;
    }
    Lookup* lookup = TakeLookup();
    if (lookup != NULL) {
        lookup->hTask = WSAAsyncGetHostByName(shell.MainWindow, shell.msgGetHostByXXXX, szServerName,
                                              lookup->abEntry, sizeof lookup->abEntry);
    }
    pHostLookup = Started(lookup, "WSAAsyncGetHostByXXXX初期化");
}

void GoOnline(const char* szName)
{
    CloseClientSocket();
    if (!OpenSelectedSocket(&client.sockClient, 0, shell.MainWindow, shell.msgSelectClient)) return;
    lstrcpynA(szServerName, szName, sizeof szServerName);
    StartHostLookup();
}

}  // namespace

bool ToggleOnline(const char* szName)
{
    CancelPending(&pHostLookup);
    CancelPending(&pServLookup);
    if (!client.fOnline) {
        GoOnline(szName);
        return false;
    }
    GoOffline();
    return true;
}

void OnHostResolved(HANDLE hTask, int nError)
{
    Lookup* lookup = FinishLookup(hTask);
    if (lookup == NULL || lookup != pHostLookup) return;
    pHostLookup = NULL;
    if (nError != 0) {
        LogError("ホスト確認", (WORD)nError);
        return;
    }
    const hostent* host = (const hostent*)lookup->abEntry;
    if (host->h_addrtype != AF_INET || host->h_length != 4) {
        LogLine("ホストがIPホストではありません");
        return;
    }
    UseServerAddress(host->h_addr_list[0]);
}

bool OnServiceResolved(HANDLE hTask, int nError)
{
    Lookup* lookup = FinishLookup(hTask);
    if (lookup == NULL || lookup != pServLookup) return false;
    pServLookup = NULL;
    if (nError != 0) {
        LogError("サーバー確認", (WORD)nError);
        LogLine("ポートとして123/UDPを用います");
        client.saServer.sin_port = htons(NTP_PORT);
    } else {
        LogLine("サーバー確認成功");
        client.saServer.sin_port = ((const servent*)lookup->abEntry)->s_port;  // already in network order
    }
    client.fCycleActive = 1;
    client.fOnline = 1;
    client.nCycleCount = POLL_AT_ONCE;
    LogLine("交信開始...");
    return true;
}

void CloseClientSocket()
{
    CloseSocket(&client.sockClient);
}
