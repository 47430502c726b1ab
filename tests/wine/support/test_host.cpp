#include "support/test_host.h"

#include <winsock.h>

#include "log/activity_log.h"
#include "sntp/engine_host.h"

TestHostNews testHostNews;

namespace {

HWND hTestHost = NULL;

int WatchSocket(SOCKET sock, EngineSocket role, long lEvents)
{
    UINT msg = role == ENGINE_CLIENT_SOCKET ? WM_TEST_CLIENT : WM_TEST_SERVER;
    return WSAAsyncSelect(sock, hTestHost, lEvents != 0 ? msg : 0, lEvents) == SOCKET_ERROR ? WSAGetLastError() : 0;
}

HANDLE LookUpHost(const char* szName, char* abEntry, int cbEntry)
{
    return WSAAsyncGetHostByName(hTestHost, WM_TEST_HOST_LOOKUP, szName, abEntry, cbEntry);
}

HANDLE LookUpService(const char* szService, const char* szProtocol, char* abEntry, int cbEntry)
{
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
    SetLogOwner(GetCurrentThreadId(), CarryLine);
    SetEngineHost(EngineHost{WatchSocket, LookUpHost, LookUpService, LogLine, HearReply, NULL, SetClockFromNtp});
}

bool OnTestHostMessage(UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (msg != WM_TEST_LOGLINE) return false;
    TakeCarriedLine(wParam, (const char*)lParam);
    return true;
}
