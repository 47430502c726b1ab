#include "app/service_main.h"

#include <winsock.h>

#include "app/control_pipe.h"
#include "app/window_host.h"
#include "base/app_data.h"
#include "history/reply_history.h"
#include "journal/history_keeper.h"
#include "log/activity_log.h"
#include "settings/registry.h"
#include "settings/settings_store.h"
#include "settings/settings_table.h"
#include "sntp/client.h"
#include "sntp/server.h"

const wchar_t SERVICE_NAME[] = L"TamarinTime";

namespace {

const char kWindowClass[] = "Tamarin Time Service";
const UINT_PTR kTickTimer = 1;
// The control handler runs on the dispatcher's thread: what it is told
// reaches the service's own thread as these.
const UINT WM_SERVICE_STOP = WM_APP + 0x20;
const UINT WM_SERVICE_POWER = WM_APP + 0x21;

SERVICE_STATUS_HANDLE hStatus = NULL;
HWND hService = NULL;
bool fPipeServed = false;  // a window program that ran first may hold it for a while

void ReportState(DWORD dwState, DWORD dwExitCode = NO_ERROR)
{
    SERVICE_STATUS status = {};
    status.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
    status.dwCurrentState = dwState;
    if (dwState == SERVICE_RUNNING) {
        status.dwControlsAccepted = SERVICE_ACCEPT_STOP | SERVICE_ACCEPT_SHUTDOWN | SERVICE_ACCEPT_POWEREVENT;
    }
    status.dwWin32ExitCode = dwExitCode;
    status.dwWaitHint = dwState == SERVICE_RUNNING || dwState == SERVICE_STOPPED ? 0 : 10000;
    SetServiceStatus(hStatus, &status);
}

DWORD WINAPI OnControl(DWORD dwControl, DWORD dwEventType, LPVOID, LPVOID)
{
    switch (dwControl) {
    case SERVICE_CONTROL_STOP:
    case SERVICE_CONTROL_SHUTDOWN:
        ReportState(SERVICE_STOP_PENDING);
        PostMessageA(hService, WM_SERVICE_STOP, 0, 0);
        return NO_ERROR;
    case SERVICE_CONTROL_POWEREVENT:
        PostMessageA(hService, WM_SERVICE_POWER, dwEventType, 0);
        return NO_ERROR;
    case SERVICE_CONTROL_INTERROGATE:
        return NO_ERROR;
    }
    return ERROR_CALL_NOT_IMPLEMENTED;
}

// A reply judged: into the record the history window shows and the history kept.
void KeepReply(const JudgedReply& reply)
{
    AppendHistory(&judgedReplies, reply.point);
    KeepJudgedReply(reply.point);
}

void RecallReply(const HistoryPoint& point)
{
    AppendHistory(&judgedReplies, point);
}

// Server mode as the settings say: a service always stays, so the switch
// alone decides, not the window program's "stay resident".
void RunServerModeAsSet()
{
    if (!settings.fActAsSNTPServer) StopServerMode();
    if (settings.fActAsSNTPServer && !ServerModeRunning()) StartServerMode();
}

// Settings from an administrator's tray: stored for the next start and in
// force at once, read back as a start reads them (each number within its range).
void TakeSettings(const SettingsState& wanted)
{
    SettingsState taken = wanted;
    taken.szServerName[sizeof taken.szServerName - 1] = '\0';
    SaveSettings(taken);
    LoadSettings(&settings);
    ConfigureClient(ClientConfigOf(settings));
    RunServerModeAsSet();
}

void OnControlRequest(const ControlRequest& request, ControlNews* news)
{
    if (request.dwCommand == CONTROL_SETTINGS) TakeSettings(request.settings);
    AnswerControlRequest(request, news);
}

void OnStart(HWND hwnd)
{
    StartWindowHost(hwnd, EngineViews{KeepReply, NULL});
    LoadSettings(&settings);
    StartClient(ClientConfigOf(settings));
    StartKeepingHistory(RecallReply);
    SetTimer(hwnd, kTickTimer, 1000, NULL);
    // Keeping the clock is what the service is for: it goes online at once.
    ToggleOnline();
    RunServerModeAsSet();
    fPipeServed = StartControlPipe(hwnd, true);
}

void OnTick(HWND hwnd)
{
    if (!fPipeServed) fPipeServed = StartControlPipe(hwnd, true);
    SumUpServerRequests();
    WatchServedClock();
    OnClientTick();
}

void OnPower(WPARAM event)
{
    if (event == PBT_APMSUSPEND) KeepPowerEvent(JOURNAL_SLEEP);
    if (event == PBT_APMRESUMEAUTOMATIC) KeepPowerEvent(JOURNAL_WAKE);
    if (event == PBT_APMRESUMEAUTOMATIC || event == PBT_APMRESUMESUSPEND) PollSoon();
}

void OnStop(HWND hwnd)
{
    KillTimer(hwnd, kTickTimer);
    StopControlPipe();
    StopServerMode();
    CloseClientSocket();
    StopKeepingHistory();
    StopWindowHost();
    DestroyWindow(hwnd);
    PostQuitMessage(0);
}

LRESULT CALLBACK ServiceWindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (RouteHostMessage(msg, wParam, lParam)) return 0;
    switch (msg) {
    case WM_TIMER:
        if (wParam == kTickTimer) OnTick(hwnd);
        return 0;
    case WM_SERVICE_POWER:
        OnPower(wParam);
        return 0;
    case WM_TIMECHANGE:
        OnClockChanged();
        return 0;
    case WM_CONTROL_REQUEST:
        OnControlRequest(*(const ControlRequest*)wParam, (ControlNews*)lParam);
        return 0;
    case WM_SERVICE_STOP:
        OnStop(hwnd);
        return 0;
    }
    return DefWindowProcA(hwnd, msg, wParam, lParam);
}

HWND CreateServiceWindow()
{
    WNDCLASSA wc = {};
    wc.lpfnWndProc = ServiceWindowProc;
    wc.hInstance = GetModuleHandleA(NULL);
    wc.lpszClassName = kWindowClass;
    RegisterClassA(&wc);
    return CreateWindowExA(0, kWindowClass, "", 0, 0, 0, 0, 0, HWND_MESSAGE, NULL, wc.hInstance, NULL);
}

void RunUntilStopped()
{
    MSG msg;
    while (GetMessageA(&msg, NULL, 0, 0) > 0) DispatchMessageA(&msg);
}

void WINAPI ServiceMain(DWORD, LPWSTR*)
{
    hStatus = RegisterServiceCtrlHandlerExW(SERVICE_NAME, OnControl, NULL);
    if (hStatus == NULL) return;
    ReportState(SERVICE_START_PENDING);
    UseMachineSettings(true);
    UseMachineDataFolder(true);
    OpenLogFile("TMRN.LOG", "TMRN.OLD.LOG");
    WSADATA wsa;
    DWORD dwExit = NO_ERROR;
    if (WSAStartup(MAKEWORD(1, 1), &wsa) != 0) {
        dwExit = ERROR_NOT_READY;
    } else {
        hService = CreateServiceWindow();
        if (hService == NULL) {
            dwExit = GetLastError();
        } else {
            OnStart(hService);
            ReportState(SERVICE_RUNNING);
            RunUntilStopped();
        }
        WSACleanup();
    }
    CloseLogFile();
    ReportState(SERVICE_STOPPED, dwExit);
}

}  // namespace

bool RunService()
{
    static wchar_t szName[] = L"TamarinTime";
    const SERVICE_TABLE_ENTRYW table[] = {{szName, ServiceMain}, {NULL, NULL}};
    return StartServiceCtrlDispatcherW(table) != 0;
}
