#include "sntp/client.h"

#include <string.h>

#include "log/activity_log.h"
#include "sntp/receive.h"
#include "sntp/tick.h"
#include "state/program_state.h"

namespace {

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

void GoOffline()
{
    client.fCycleActive = 0;
    client.fOnline = 0;
    LogLine("交信終了");
    CloseClientSocket();
}

// A text that starts with a digit is a dotted address; anything else,
// an empty text too, is a host name.
void StartHostLookup()
{
    if (szServerName[0] >= '0' && szServerName[0] <= '9') {
        unsigned long address = inet_addr(szServerName);
        hHostQuery = WSAAsyncGetHostByAddr(shell.MainWindow, shell.msgGetHostByXXXX, (const char*)&address, 4, AF_INET,
                                           abHostEntry, sizeof abHostEntry);
    } else {
        hHostQuery = WSAAsyncGetHostByName(shell.MainWindow, shell.msgGetHostByXXXX, szServerName, abHostEntry,
                                           sizeof abHostEntry);
    }
    if (hHostQuery == 0) LogError("WSAAsyncGetHostByXXXX初期化", WSAGetLastError());
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
    CancelLookup(&hHostQuery);
    CancelLookup(&hServQuery);
    if (!client.fOnline) {
        GoOnline(szName);
        return false;
    }
    GoOffline();
    return true;
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
    memset(&client.saServer, 0, sizeof client.saServer);
    client.saServer.sin_family = host->h_addrtype;
    memcpy(&client.saServer.sin_addr, host->h_addr_list[0], 4);

    hServQuery = WSAAsyncGetServByName(shell.MainWindow, shell.msgGetServByXXXX, "ntp", "udp", abServEntry,
                                       sizeof abServEntry);
    if (hServQuery == 0) LogError("WSAAsyncGetServByXXXX 初期化", WSAGetLastError());
}

bool OnServiceResolved(HANDLE hTask, int nError)
{
    if (hServQuery == 0 || hTask != hServQuery) return false;
    hServQuery = 0;
    if (nError != 0) {
        LogError("サーバー確認", (WORD)nError);
        LogLine("ポートとして123/UDPを用います");
        client.saServer.sin_port = htons(NTP_PORT);
    } else {
        LogLine("サーバー確認成功");
        client.saServer.sin_port = ((const servent*)abServEntry)->s_port;  // already in network order
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
