#include "sntp/client_link.h"

#include <string.h>

#include "log/activity_log.h"
#include "sntp/client_poll.h"
#include "sntp/client_state.h"
#include "sntp/lookups.h"
#include "sntp/receive.h"
#include "sntp/schedule.h"
#include "timebase/clock.h"

namespace {

// The pending lookups; NULL when none is.
Lookup* pHostLookup = NULL;
Lookup* pServLookup = NULL;

void (*pfnShowOnlineState)(bool fOn) = NULL;
ClientEvents events = {};

void CancelPending(Lookup** ppLookup)
{
    if (*ppLookup == NULL) return;
    CancelLookup(*ppLookup);
    *ppLookup = NULL;
}

// The one place the client's state moves (what the user wants is set
// before); the shell hears of each move, and the trying counts from when
// it began.
void MoveTo(ClientStatus status)
{
    bool fWasOnline = clientLink.nStatus == CLIENT_ONLINE;
    clientLink.nStatus = status;
    if (!fWasOnline && status == CLIENT_ONLINE) {
        clientLink.qwOnlineSince = NtpNow();  // the tray's warning counts from here until a reply is judged
        clientLink.qwOnlineSince_ms = MonotonicMs();
    }
    ClientFace face = CurrentFace();
    if (face == FACE_TRYING && clientLink.nFace != FACE_TRYING) {
        clientLink.qwTryingSince = NtpNow();
        clientLink.qwTryingSince_ms = MonotonicMs();
    }
    clientLink.nFace = face;
    if (pfnShowOnlineState != NULL) pfnShowOnlineState(face != FACE_OFFLINE);
}

// A step of the way online failed (its line is written): try again after
// the backoff, at most every 15 minutes or every poll interval.
void WaitToRetry(TryCause cause)
{
    clientLink.nTryCause = cause;
    uint32_t cap = PollInterval(clientConfig.nInterval_minute, 0);
    uint32_t nWait_sec = BackOff(cap < MAX_LOOKUP_RETRY_SEC ? cap : MAX_LOOKUP_RETRY_SEC);
    clientLink.qwNextAttempt_ms = MonotonicMs() + (uint64_t)nWait_sec * 1000;
    MoveTo(CLIENT_WAITING);
}

// The lookup when it started; else NULL, after logging the failed step.
Lookup* Started(Lookup* lookup, const char* szStep, TryCause cause)
{
    if (lookup != NULL && lookup->hTask != 0) return lookup;
    LogError(szStep, lookup == NULL ? WSAENOBUFS : WSAGetLastError());
    WaitToRetry(cause);
    return NULL;
}

void StartServiceLookup()
{
    Lookup* lookup = TakeLookup();
    if (lookup != NULL) {
        lookup->hTask = WSAAsyncGetServByName(events.hwnd, events.msgGetServByXXXX, "ntp", "udp",
                                              lookup->abEntry, sizeof lookup->abEntry);
    }
    pServLookup = Started(lookup, "WSAAsyncGetServByXXXX 初期化", TRY_SERVICE);
}

// The server's address is known: the port comes next.
void UseServerAddress(const void* abAddress)
{
    LogLine("ホスト確認成功");
    memset(&clientLink.saServer, 0, sizeof clientLink.saServer);
    clientLink.saServer.sin_family = AF_INET;
    memcpy(&clientLink.saServer.sin_addr, abAddress, 4);
    StartServiceLookup();
}

// A dotted address is the address: it needs no lookup, and may have no
// reverse name. Anything else, an empty text or one that starts with a digit
// too, is a host name.
void StartHostLookup()
{
    unsigned long address = inet_addr(clientLink.szServerName);
    if (address != INADDR_NONE) {
        UseServerAddress(&address);
        return;
    }
    Lookup* lookup = TakeLookup();
    if (lookup != NULL) {
        lookup->hTask = WSAAsyncGetHostByName(events.hwnd, events.msgGetHostByXXXX, clientLink.szServerName,
                                              lookup->abEntry, sizeof lookup->abEntry);
    }
    pHostLookup = Started(lookup, "WSAAsyncGetHostByXXXX初期化", TRY_HOST);
}

// Cancels what the client was doing and closes its socket.
void LeaveCurrentState()
{
    CancelPending(&pHostLookup);
    CancelPending(&pServLookup);
    CloseRequest();  // a reply to the last request is late now
    if (clientLink.nStatus == CLIENT_ONLINE) LogLine("交信終了");
    CloseClientSocket();
}

}  // namespace

ClientLink clientLink;

ClientFace CurrentFace()
{
    if (clientLink.nStatus == CLIENT_ONLINE) return FACE_ONLINE;
    return clientLink.fWantOnline || clientLink.fStoppedByServer ? FACE_TRYING : FACE_OFFLINE;
}

void SetClientEvents(const ClientEvents& given)
{
    events = given;
}

void SetOnlineStateView(void (*pfnShow)(bool fOnline))
{
    pfnShowOnlineState = pfnShow;
}

void ToggleOnline()
{
    if (CurrentFace() != FACE_OFFLINE) {
        StopClient(false);
        return;
    }
    clientLink.fWantOnline = 1;
    clientLink.nTryCause = TRY_CONNECTING;
    // The user's own attempt starts afresh, and the old server's way is not
    // probed.
    StartAfresh();
    memset(&clientLink.saServer, 0, sizeof clientLink.saServer);
    lstrcpynA(clientLink.szServerName, clientConfig.szServers, sizeof clientLink.szServerName);
    GoOnlineAgain();
}

void GoOnlineAgain()
{
    if (clientLink.nTryCause == TRY_NETWORK_GONE) clientLink.nTryCause = TRY_CONNECTING;
    LeaveCurrentState();
    MoveTo(CLIENT_RESOLVING);
    if (!OpenSelectedSocket(&clientLink.sockClient, 0, events.hwnd, events.msgSelectClient)) {
        WaitToRetry(TRY_SOCKET);
        return;
    }
    StartHostLookup();
}

void StopClient(bool fKeepWish)
{
    if (fKeepWish) {
        clientLink.nTryCause = TRY_NETWORK_GONE;
    } else {
        clientLink.fWantOnline = 0;
        clientLink.fStoppedByServer = 0;
    }
    LeaveCurrentState();
    MoveTo(CLIENT_OFFLINE);
}

void StopForServer()
{
    clientLink.fWantOnline = 0;  // so that the network's return does not bring it back
    clientLink.fStoppedByServer = 1;
    clientLink.nTryCause = TRY_REFUSED;
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
        WaitToRetry(TRY_HOST);
        return;
    }
    const hostent* host = (const hostent*)lookup->abEntry;
    if (host->h_addrtype != AF_INET || host->h_length != 4) {
        LogLine("ホストがIPホストではありません");
        WaitToRetry(TRY_HOST);
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
        clientLink.saServer.sin_port = htons(NTP_PORT);
    } else {
        LogLine("サーバー確認成功");
        clientLink.saServer.sin_port = ((const servent*)lookup->abEntry)->s_port;  // already in network order
    }
    // RATE holds until the user's next click.
    StartPolling();
    MoveTo(CLIENT_ONLINE);
    LogLine("交信開始...");
}

void CloseClientSocket()
{
    CloseSocket(&clientLink.sockClient);
}
