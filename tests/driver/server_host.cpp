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
#include "settings/settings_table.h"
#include "sntp/client.h"
#include "sntp/server.h"
#include "support/frozen_clock.h"
#include "support/log_window.h"
#include "support/test_host.h"
#include "timebase/clock.h"

namespace {

const DWORD kLifetime_ms = 120000;  // ends by itself should the script die
// Until it has synchronised, each timer tick is two minutes of the client's
// schedule, so that its backoff, the leap's witness and its polls come within
// the script's patience; then its clock stands, and so does its reference.
const uint64_t kTickStep_ms = 120000;

bool FileExists(const char* name)
{
    return GetFileAttributesA(name) != INVALID_FILE_ATTRIBUTES;
}

BOOL WINAPI RefuseSetSystemTime(const SYSTEMTIME*)
{
    SetLastError(ERROR_PRIVILEGE_NOT_HELD);
    return FALSE;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 2) return 2;
    WSADATA wsa;
    if (WSAStartup(MAKEWORD(1, 1), &wsa) != 0) return 3;
    clockCalls.SetSystemTime = RefuseSetSystemTime;
    HoldMonotonicClock();
    CreateLogWindow();
    ShowWindow(shell.MainWindow, SW_HIDE);
    settings = DefaultSettings();
    StartClient(ClientConfigOf(settings));

    sockaddr_in saUpstream = {};
    saUpstream.sin_family = AF_INET;
    saUpstream.sin_port = htons((u_short)atoi(argv[1]));
    saUpstream.sin_addr.s_addr = inet_addr("127.0.0.1");
    if (!GoOnlineTo(saUpstream)) return 4;
    StartServerMode();
    std::vector<std::string> log = ReadLog();  // the newest line, then the empty entry below it
    if (log.size() < 2 || log[log.size() - 2] != "SNTPサービス開始...") return 4;
    CloseHandle(CreateFileA("ready", GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL));

    SetTimer(shell.MainWindow, 1, 250, NULL);
    DWORD start = GetTickCount();
    MSG msg;
    while (!FileExists("stop") && GetTickCount() - start < kLifetime_ms && GetMessageA(&msg, NULL, 0, 0) > 0) {
        if (msg.message == WM_TEST_CLIENT) {
            OnClientRead((SOCKET)msg.wParam, WSAGETSELECTEVENT(msg.lParam));
        } else if (msg.message == WM_TEST_SERVER) {
            OnServerRead((SOCKET)msg.wParam, WSAGETSELECTEVENT(msg.lParam));
        } else if (msg.message == WM_TIMER) {
            if (ReportClient().reference.fSynchronized) continue;
            qwMonotonic_ms += kTickStep_ms;
            OnClientTick();
        } else {
            DispatchMessageA(&msg);
        }
    }
    StopServerMode();
    CloseClientSocket();
    WSACleanup();
    return FileExists("stop") ? 0 : 5;
}
