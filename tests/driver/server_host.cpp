// A host for the SNTP exchange under test, driven by server_peers.py: the
// client polls the scripted server on 127.0.0.1 until it has synchronised,
// while server mode answers on port 123. Files in the working folder talk to
// the script: "ready" once server mode listens, "stop" ends the host. Every
// correction of the clock is refused, as for a user without the right.
//
//   server_host.exe UPSTREAM_PORT
#include <windows.h>
#include <winsock.h>
#include <stdlib.h>

#include "app/shell_state.h"
#include "log/activity_log.h"
#include "settings/settings_table.h"
#include "sntp/client.h"
#include "sntp/client_poll.h"
#include "sntp/client_state.h"
#include "sntp/receive.h"
#include "sntp/server.h"
#include "support/log_window.h"
#include "support/test_host.h"
#include "timebase/clock.h"

namespace {

const UINT WM_CLIENT_EVENT = WM_APP + 0x50;
const DWORD kLifetime_ms = 120000;  // ends by itself should the script die

bool FileExists(const char* name)
{
    return GetFileAttributesA(name) != INVALID_FILE_ATTRIBUTES;
}

BOOL WINAPI RefuseSetSystemTime(const SYSTEMTIME*)
{
    SetLastError(ERROR_PRIVILEGE_NOT_HELD);
    return FALSE;
}

SOCKET OpenClientSocket(u_short upstreamPort)
{
    client.aSources[0].link.saServer.sin_family = AF_INET;
    client.aSources[0].link.saServer.sin_port = htons(upstreamPort);
    client.aSources[0].link.saServer.sin_addr.s_addr = inet_addr("127.0.0.1");
    SOCKET sock = socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in saLocal = {};
    saLocal.sin_family = AF_INET;
    bind(sock, (sockaddr*)&saLocal, sizeof saLocal);
    WSAAsyncSelect(sock, shell.MainWindow, WM_CLIENT_EVENT, FD_READ);
    return sock;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 2) return 2;
    WSADATA wsa;
    if (WSAStartup(MAKEWORD(1, 1), &wsa) != 0) return 3;
    clockCalls.SetSystemTime = RefuseSetSystemTime;
    CreateLogWindow();
    ConfigureClient(ClientConfigOf(DefaultSettings()));
    ShowWindow(shell.MainWindow, SW_HIDE);

    client.aSources[0].link.sock = OpenClientSocket((u_short)atoi(argv[1]));
    client.aSources[0].link.nStatus = CLIENT_ONLINE;
    StartServerMode();
    std::vector<std::string> log = ReadLog();  // the newest line, then the empty entry below it
    if (log.size() < 2 || log[log.size() - 2] != "SNTPサービス開始...") return 4;
    CloseHandle(CreateFileA("ready", GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL));

    SetTimer(shell.MainWindow, 1, 250, NULL);
    DWORD start = GetTickCount();
    MSG msg;
    while (!FileExists("stop") && GetTickCount() - start < kLifetime_ms && GetMessageA(&msg, NULL, 0, 0) > 0) {
        if (msg.message == WM_CLIENT_EVENT) {
            OnClientRead((SOCKET)msg.wParam, WSAGETSELECTEVENT(msg.lParam));
        } else if (msg.message == WM_TEST_SERVER) {
            OnServerRead((SOCKET)msg.wParam, WSAGETSELECTEVENT(msg.lParam));
        } else if (msg.message == WM_TIMER) {
            if (!client.found.reference.fSynchronized) PollServer(&client.aSources[0]);
        } else {
            DispatchMessageA(&msg);
        }
    }
    StopServerMode();
    closesocket(client.aSources[0].link.sock);
    WSACleanup();
    return FileExists("stop") ? 0 : 5;
}
