#include "app/window_host.h"

#include <winsock.h>

#include "log/activity_log.h"
#include "sntp/client.h"
#include "sntp/engine_host.h"
#include "sntp/server.h"
#include "timebase/clock.h"

namespace {

// Carries another thread's finished line: wParam its hand-over slot, lParam
// the text; the sender waits.
const UINT WM_APP_LOGLINE = WM_APP + 1;

HWND hHost = NULL;
EngineViews shown = {};
UINT msgGetHostByXXXX = 0;
UINT msgGetServByXXXX = 0;
UINT msgSelectClient = 0;
UINT msgSelectServer = 0;

int WatchSocket(SOCKET sock, EngineSocket role, long lEvents)
{
    UINT msg = role == ENGINE_CLIENT_SOCKET ? msgSelectClient : msgSelectServer;
    if (WSAAsyncSelect(sock, hHost, lEvents != 0 ? msg : 0, lEvents) == SOCKET_ERROR) return WSAGetLastError();
    return 0;
}

HANDLE LookUpHost(const char* szName, char* abEntry, int cbEntry)
{
    return WSAAsyncGetHostByName(hHost, msgGetHostByXXXX, szName, abEntry, cbEntry);
}

HANDLE LookUpService(const char* szService, const char* szProtocol, char* abEntry, int cbEntry)
{
    return WSAAsyncGetServByName(hHost, msgGetServByXXXX, szService, szProtocol, abEntry, cbEntry);
}

void ShowReplyJudged(const JudgedReply& reply)
{
    if (shown.pfnReplyJudged != NULL) shown.pfnReplyJudged(reply);
}

void ShowStateChanged(ClientFace face)
{
    if (shown.pfnStateChanged != NULL) shown.pfnStateChanged(face);
}

void CarryLogLine(int nSlot, const char* text)
{
    SendMessageA(hHost, WM_APP_LOGLINE, (WPARAM)nSlot, (LPARAM)text);
}

// Registered messages are 0 until the host starts.
bool IsMessage(UINT msg, UINT registered)
{
    return registered != 0 && msg == registered;
}

}  // namespace

void StartWindowHost(HWND hwnd, EngineViews views)
{
    hHost = hwnd;
    shown = views;
    msgGetHostByXXXX = RegisterWindowMessageA("WSAAsyncGetHostByXXXX");
    msgGetServByXXXX = RegisterWindowMessageA("WSAAsyncGetServByXXXX");
    msgSelectClient = RegisterWindowMessageA("WSAAsyncSelectClient");
    msgSelectServer = RegisterWindowMessageA("WSAAsyncSelectServer");
    SetLogOwner(GetCurrentThreadId(), CarryLogLine);
    EngineHost host = {WatchSocket, LookUpHost, LookUpService, LogLine, ShowReplyJudged, ShowStateChanged,
                       SetClockFromNtp};
    SetEngineHost(host);
}

void StopWindowHost()
{
    shown = EngineViews();
    // Another thread's late line is dropped, not sent to a handle that the
    // system may give to another window.
    SetLogOwner(0, NULL);
}

bool RouteHostMessage(UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (IsMessage(msg, msgGetHostByXXXX)) {
        OnHostResolved((HANDLE)wParam, WSAGETASYNCERROR(lParam));
    } else if (IsMessage(msg, msgGetServByXXXX)) {
        OnServiceResolved((HANDLE)wParam, WSAGETASYNCERROR(lParam));
    } else if (IsMessage(msg, msgSelectClient)) {
        OnClientRead((SOCKET)wParam, WSAGETSELECTEVENT(lParam));
    } else if (IsMessage(msg, msgSelectServer)) {
        OnServerRead((SOCKET)wParam, WSAGETSELECTEVENT(lParam));
    } else if (msg == WM_APP_LOGLINE) {
        TakeCarriedLine(wParam, (const char*)lParam);
    } else {
        return false;
    }
    return true;
}
