#include "sntp/client.h"

#include <string.h>

#include "app/state.h"
#include "app/tray.h"
#include "log/activity_log.h"
#include "resources/resource.h"
#include "sntp/receive.h"

namespace {

const int32_t kPollAtOnce = 9999999;  // above any interval: the next tick polls

HANDLE hHostQuery = 0;
HANDLE hServQuery = 0;

// The system reads and fills these after the lookup calls have returned.
char szServerName[256];
alignas(8) char abHostEntry[MAXGETHOSTSTRUCT];
alignas(8) char abServEntry[MAXGETHOSTSTRUCT];

void CancelLookup(HANDLE* phQuery)
{
    if (*phQuery == 0) return;
    WSACancelAsyncRequest(*phQuery);
    *phQuery = 0;
}

// The button names the action a click performs; the menus and the icon show the state.
void ShowOnlineState(bool fNowOnline)
{
    SetDlgItemTextA(MainWindow, IDM_ONLINE, fNowOnline ? "オフライン" : "オンライン");
    CheckMenuItem(hTrayMenu, IDM_ONLINE, MF_BYCOMMAND | (fNowOnline ? MF_CHECKED : MF_UNCHECKED));
    TrayIconModify(TrayWindow, TRAY_ICON_ID, fNowOnline ? hIconOnline16 : hIconApp16, 0, NULL);
}

void GoOffline()
{
    fCycleActive = 0;
    fOnline = 0;
    ShowOnlineState(false);
    LogLine("交信終了");
    CloseClientSocket();
}

// A text that starts with a digit is a dotted address; anything else,
// an empty text too, is a host name.
void StartHostLookup()
{
    if (szServerName[0] >= '0' && szServerName[0] <= '9') {
        unsigned long address = inet_addr(szServerName);
        hHostQuery = WSAAsyncGetHostByAddr(MainWindow, msgGetHostByXXXX, (const char*)&address, 4, AF_INET,
                                           abHostEntry, sizeof abHostEntry);
    } else {
        hHostQuery = WSAAsyncGetHostByName(MainWindow, msgGetHostByXXXX, szServerName, abHostEntry,
                                           sizeof abHostEntry);
    }
    if (hHostQuery == 0) LogError("WSAAsyncGetHostByXXXX初期化", WSAGetLastError());
}

void GoOnline(HWND hwnd)
{
    CloseClientSocket();
    if (!OpenSelectedSocket(&sockClient, 0, hwnd, msgSelectClient)) return;
    GetDlgItemTextA(hwnd, IDC_SERVERNAME, szServerName, sizeof szServerName);
    StartHostLookup();
}

}  // namespace

void ToggleOnline(HWND hwnd)
{
    CancelLookup(&hHostQuery);
    CancelLookup(&hServQuery);
    if (fOnline) {
        GoOffline();
    } else {
        GoOnline(hwnd);
    }
}

void OnHostResolved(HANDLE hTask, int nError)
{
    if (hHostQuery == 0 || hTask != hHostQuery) return;
    hHostQuery = 0;
    if (nError != 0) {
        LogError("ホスト確認", (WORD)nError);
        return;
    }
    const hostent* host = (const hostent*)abHostEntry;
    if (host->h_addrtype != AF_INET || host->h_length != 4) {
        LogLine("ホストがIPホストではありません");
        return;
    }
    LogLine("ホスト確認成功");
    memset(&saServer, 0, sizeof saServer);
    saServer.sin_family = host->h_addrtype;
    memcpy(&saServer.sin_addr, host->h_addr_list[0], 4);

    hServQuery = WSAAsyncGetServByName(MainWindow, msgGetServByXXXX, "ntp", "udp", abServEntry, sizeof abServEntry);
    if (hServQuery == 0) LogError("WSAAsyncGetServByXXXX 初期化", WSAGetLastError());
}

void OnServiceResolved(HANDLE hTask, int nError)
{
    if (hServQuery == 0 || hTask != hServQuery) return;
    hServQuery = 0;
    if (nError != 0) {
        LogError("サーバー確認", (WORD)nError);
        LogLine("ポートとして123/UDPを用います");
        saServer.sin_port = htons(123);
    } else {
        LogLine("サーバー確認成功");
        saServer.sin_port = ((const servent*)abServEntry)->s_port;  // already in network order
    }
    ShowOnlineState(true);
    fCycleActive = 1;
    fOnline = 1;
    nCycleCount = kPollAtOnce;
    LogLine("交信開始...");
}

void CloseClientSocket()
{
    CloseSocket(&sockClient);
}
