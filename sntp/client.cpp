#include "sntp/client.h"

#include <string.h>

#include "log/activity_log.h"
#include "settings/settings_table.h"
#include "sntp/lookups.h"
#include "sntp/receive.h"
#include "sntp/schedule.h"
#include "state/program_state.h"
#include "timebase/clock.h"

namespace {

// The pending lookups; NULL when none is.
Lookup* pHostLookup = NULL;
Lookup* pServLookup = NULL;

void (*pfnShowOnlineState)(bool fOnline) = NULL;
ClientEvents events = {};

void CancelPending(Lookup** ppLookup)
{
    if (*ppLookup == NULL) return;
    CancelLookup(*ppLookup);
    *ppLookup = NULL;
}

// The one place the client's state moves; the shell hears when it went
// online or left it.
void MoveTo(ClientStatus status)
{
    bool fWasOnline = client.nStatus == CLIENT_ONLINE;
    client.nStatus = status;
    if (!fWasOnline && status == CLIENT_ONLINE) {
        client.qwOnlineSince = NtpNow();  // the tray's warning counts from here until a reply is judged
        client.qwOnlineSince_ms = MonotonicMs();
    }
    if (fWasOnline != (status == CLIENT_ONLINE) && pfnShowOnlineState != NULL) {
        pfnShowOnlineState(status == CLIENT_ONLINE);
    }
}

// A step of the way online failed (its line is written): try again after
// the backoff, at most every 15 minutes or every poll interval.
void WaitToRetry()
{
    uint32_t cap = PollInterval(settings.nCheckTimer_minute, 0);
    client.nRetry_sec = NextRetryDelay(client.nRetry_sec, cap < MAX_LOOKUP_RETRY_SEC ? cap : MAX_LOOKUP_RETRY_SEC);
    client.qwNextAttempt_ms = MonotonicMs() + (uint64_t)client.nRetry_sec * 1000;
    MoveTo(CLIENT_WAITING);
}

// The lookup when it started; else NULL, after logging the failed step.
Lookup* Started(Lookup* lookup, const char* szStep)
{
    if (lookup != NULL && lookup->hTask != 0) return lookup;
    LogError(szStep, lookup == NULL ? WSAENOBUFS : WSAGetLastError());
    WaitToRetry();
    return NULL;
}

void StartServiceLookup()
{
    Lookup* lookup = TakeLookup();
    if (lookup != NULL) {
        lookup->hTask = WSAAsyncGetServByName(events.hwnd, events.msgGetServByXXXX, "ntp", "udp",
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
    unsigned long address = inet_addr(client.szServerName);
    if (address != INADDR_NONE) {
        UseServerAddress(&address);
        return;
    }
    Lookup* lookup = TakeLookup();
    if (lookup != NULL) {
        lookup->hTask = WSAAsyncGetHostByName(events.hwnd, events.msgGetHostByXXXX, client.szServerName,
                                              lookup->abEntry, sizeof lookup->abEntry);
    }
    pHostLookup = Started(lookup, "WSAAsyncGetHostByXXXX初期化");
}

// Cancels what the client was doing and closes its socket.
void LeaveCurrentState()
{
    CancelPending(&pHostLookup);
    CancelPending(&pServLookup);
    client.fAwaitingReply = 0;  // a reply to the last request is late now
    if (client.nStatus == CLIENT_ONLINE) LogLine("交信終了");
    CloseClientSocket();
}

}  // namespace

void SetClientEvents(const ClientEvents& given)
{
    events = given;
}

void SetOnlineStateView(void (*pfnShow)(bool fOnline))
{
    pfnShowOnlineState = pfnShow;
}

void ToggleOnline(const char* szName)
{
    if (client.nStatus == CLIENT_ONLINE) {
        StopClient(false);
        return;
    }
    client.fWantOnline = 1;
    // The user's own attempt starts afresh: no backoff, no RATE, no waiting
    // for 15 s since the last request. The old server's way is not probed,
    // and the probe's next answer is a new baseline.
    client.nRetry_sec = 0;
    client.nRateShift = 0;
    client.qwLastPoll_ms = 0;
    memset(&client.saServer, 0, sizeof client.saServer);
    client.nNetwork = NETWORK_UNKNOWN;
    lstrcpynA(client.szServerName, szName, sizeof client.szServerName);
    GoOnlineAgain();
}

void GoOnlineAgain()
{
    LeaveCurrentState();
    MoveTo(CLIENT_RESOLVING);
    if (!OpenSelectedSocket(&client.sockClient, 0, events.hwnd, events.msgSelectClient)) {
        WaitToRetry();
        return;
    }
    StartHostLookup();
}

void StopClient(bool fKeepWish)
{
    if (!fKeepWish) client.fWantOnline = 0;
    LeaveCurrentState();
    MoveTo(CLIENT_OFFLINE);
}

void OnHostResolved(HANDLE hTask, int nError)
{
    Lookup* lookup = FinishLookup(hTask);
    if (lookup == NULL || lookup != pHostLookup) return;
    pHostLookup = NULL;
    if (nError != 0) {
        LogError("ホスト確認", (WORD)nError);
        WaitToRetry();
        return;
    }
    const hostent* host = (const hostent*)lookup->abEntry;
    if (host->h_addrtype != AF_INET || host->h_length != 4) {
        LogLine("ホストがIPホストではありません");
        WaitToRetry();
        return;
    }
    UseServerAddress(host->h_addr_list[0]);
}

void OnServiceResolved(HANDLE hTask, int nError)
{
    Lookup* lookup = FinishLookup(hTask);
    if (lookup == NULL || lookup != pServLookup) return;
    pServLookup = NULL;
    if (nError != 0) {
        LogError("サーバー確認", (WORD)nError);
        LogLine("ポートとして123/UDPを用います");
        client.saServer.sin_port = htons(NTP_PORT);
    } else {
        LogLine("サーバー確認成功");
        client.saServer.sin_port = ((const servent*)lookup->abEntry)->s_port;  // already in network order
    }
    // Online again: the first poll goes as soon as 15 s have passed since the
    // last request; RATE holds until the user's next click.
    client.nRetry_sec = 0;
    client.fPollNow = 1;
    MoveTo(CLIENT_ONLINE);
    LogLine("交信開始...");
}

void CloseClientSocket()
{
    CloseSocket(&client.sockClient);
}
