#include "support/test_host.h"

#include <winsock.h>

#include <string.h>

#include "log/activity_log.h"
#include "settings/settings_table.h"
#include "sntp/client.h"
#include "sntp/engine_host.h"
#include "support/log_window.h"

TestHostNews testHostNews;
ClientReport played;

namespace {

HWND hTestHost = NULL;
u_short servicePort = 0;  // network order; 0: the system's lookup

int WatchSocket(SOCKET sock, EngineSocket role, long lEvents)
{
    UINT msg = role == ENGINE_CLIENT_SOCKET ? WM_TEST_CLIENT : WM_TEST_SERVER;
    if (role == ENGINE_CLIENT_SOCKET) testHostNews.sockClient = sock;
    return WSAAsyncSelect(sock, hTestHost, lEvents != 0 ? msg : 0, lEvents) == SOCKET_ERROR ? WSAGetLastError() : 0;
}

HANDLE LookUpHost(const char* szName, char* abEntry, int cbEntry)
{
    return WSAAsyncGetHostByName(hTestHost, WM_TEST_HOST_LOOKUP, szName, abEntry, cbEntry);
}

HANDLE LookUpService(const char* szService, const char* szProtocol, char* abEntry, int cbEntry)
{
    if (servicePort != 0) {
        static uintptr_t nAnswered = 0x7E570000;
        HANDLE hTask = (HANDLE)++nAnswered;
        memset(abEntry, 0, cbEntry);
        ((servent*)abEntry)->s_port = servicePort;
        PostMessageA(hTestHost, WM_TEST_SERVICE_LOOKUP, (WPARAM)hTask, 0);
        return hTask;
    }
    return WSAAsyncGetServByName(hTestHost, WM_TEST_SERVICE_LOOKUP, szService, szProtocol, abEntry, cbEntry);
}

void HearReply(const JudgedReply& reply)
{
    testHostNews.judged.push_back(reply.point);
}

void CarryLine(int nSlot, const char* text)
{
    SendMessageA(hTestHost, WM_TEST_LOGLINE, (WPARAM)nSlot, (LPARAM)text);
}

}  // namespace

void StartTestHost(HWND hwnd)
{
    hTestHost = hwnd;
    testHostNews = TestHostNews();
    servicePort = 0;
    SetLogOwner(GetCurrentThreadId(), CarryLine);
    SetEngineHost(EngineHost{WatchSocket, LookUpHost, LookUpService, LogLine, HearReply, NULL, SetClockFromNtp});
}

bool OnTestHostMessage(UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (msg != WM_TEST_LOGLINE) return false;
    TakeCarriedLine(wParam, (const char*)lParam);
    return true;
}

bool GoOnlineTo(const sockaddr_in& saServer)
{
    servicePort = saServer.sin_port;
    ClientConfig config = ClientConfigOf(settings);
    strcpy(config.szServers, inet_ntoa(saServer.sin_addr));
    ConfigureClient(config);
    ToggleOnline();
    return FinishGoingOnline();
}

bool FinishGoingOnline()
{
    MSG msg;
    // An earlier attempt's answer may come first: the client ignores it.
    while (ReportClient().nStatus != CLIENT_ONLINE && WaitForMessage(WM_TEST_SERVICE_LOOKUP, &msg)) {
        OnServiceResolved((HANDLE)msg.wParam, WSAGETASYNCERROR(msg.lParam));
    }
    return ReportClient().nStatus == CLIENT_ONLINE;
}

sockaddr_in ClientAddress()
{
    sockaddr_in sa = {};
    int length = sizeof sa;
    getsockname(testHostNews.sockClient, (sockaddr*)&sa, &length);
    sa.sin_addr.s_addr = inet_addr("127.0.0.1");
    return sa;
}

ClientReport PlayedReport()
{
    return played;
}
