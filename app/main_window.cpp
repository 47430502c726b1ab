#include "app/main_window.h"

#include <commctrl.h>

#include "app/control_pipe.h"
#include "app/exit_countdown.h"
#include "app/log_view.h"
#include "app/main_commands.h"
#include "app/menu_commands.h"
#include "app/service_link.h"
#include "app/shell_state.h"
#include "app/tray.h"
#include "app/window_host.h"
#include "history/history_window.h"
#include "history/reply_history.h"
#include "journal/history_keeper.h"
#include "log/activity_log.h"
#include "log/log_format.h"
#include "resources/resource.h"
#include "settings/settings_controls.h"
#include "settings/settings_store.h"
#include "sntp/client.h"
#include "sntp/server.h"

namespace {

const UINT_PTR kTickTimer = 1;

HICON hIconApp16 = NULL;
HICON hIconApp32 = NULL;
HICON hIconOnline16 = NULL;
HICON hIconWarning16 = NULL;

HICON LoadIconImage(HINSTANCE hInstance, int id, int size)
{
    return (HICON)LoadImageA(hInstance, MAKEINTRESOURCEA(id), IMAGE_ICON, size, size, 0);
}

// Loaded once and kept for the life of the process.
void LoadIcons(HWND hwnd, HINSTANCE hInstance)
{
    hIconApp16 = LoadIconImage(hInstance, IDI_APP, 16);
    hIconApp32 = LoadIconImage(hInstance, IDI_APP, 32);
    hIconOnline16 = LoadIconImage(hInstance, IDI_ONLINE, 16);
    hIconWarning16 = LoadIconImage(hInstance, IDI_UNCHECKED, 16);
    SendMessageA(hwnd, WM_SETICON, ICON_SMALL, (LPARAM)hIconApp16);
    SendMessageA(hwnd, WM_SETICON, ICON_BIG, (LPARAM)hIconApp32);
}

void LogGreeting()
{
    LogLine("Hello! This is Tamarin Time network time client.");
    LogLine("Revision date/time is Jun 24 1997 12:29:56.");
    if (!shell.fFirstRun) return;
    LogLine("はじめまして。");
    LogLine("この設定画面は、タスクトレイのタマリンタイムアイコンを");
    LogLine("ダブルクリックすると出てきます。");
    LogLine("普段は閉じておいてもかまいません。");
}

// A diagnostic of the performance counter and the tick count.
void LogCounters()
{
    LARGE_INTEGER frequency, counter;
    if (!QueryPerformanceFrequency(&frequency) || !QueryPerformanceCounter(&counter)) return;
    LogLineBuffer line;
    FormatCounterLine(line, counter.QuadPart, frequency.QuadPart, GetTickCount());
    LogLine(line);
}

void LoadAndShowSettings(HWND hwnd)
{
    shell.fFirstRun = LoadSettings(&settings) ? 0 : 1;
    SetUpSettingsControls(hwnd);
    ShowSettings(hwnd);
    StartClient(ClientConfigOf(settings));
}

// A reply was judged: it is kept, and the tray's tip and an open history
// window show it.
void ShowJudgedReply(const JudgedReply& reply)
{
    AppendHistory(&judgedReplies, reply.point);
    KeepJudgedReply(reply.point);
    ShowTrayState();
    ShowHistoryUpdate();
}

// A reply of an earlier run, read back from the history kept across starts.
void RecallJudgedReply(const HistoryPoint& point)
{
    AppendHistory(&judgedReplies, point);
}

// No service runs: this program hosts the engine, as it always has.
void HostEngine(HWND hwnd)
{
    LoadAndShowSettings(hwnd);
    LogGreeting();
    StartKeepingHistory(RecallJudgedReply);
    CreateTrayWindow(InstanceOf(hwnd), hIconApp16, hIconOnline16, hIconWarning16);
    if (settings.fStartAtFirst) PostMessageA(hwnd, WM_COMMAND, IDM_ONLINE, 0);
    if (ServerModeWanted(settings)) StartServerMode();
    StartControlPipe(hwnd, false);
    LogCounters();
}

// The service hosts it: this window shows the service's state, log,
// history and settings, and keeps no log file or history of its own.
void ShowService(HWND hwnd)
{
    CloseLogFile();
    SetUpSettingsControls(hwnd);
    ShowSettings(hwnd);
    CreateTrayWindow(InstanceOf(hwnd), hIconApp16, hIconOnline16, hIconWarning16);
    ShowOnlineState(reportClient().nFace);
}

void OnInitDialog(HWND hwnd)
{
    shell.MainWindow = hwnd;
    StartWindowHost(hwnd, EngineViews{ShowJudgedReply, ShowOnlineState});
    StartLogView(hwnd);
    HINSTANCE hInstance = InstanceOf(hwnd);
    HMENU hSystemMenu = GetSystemMenu(hwnd, FALSE);
    RemoveMenu(hSystemMenu, SC_SIZE, MF_BYCOMMAND);
    RemoveMenu(hSystemMenu, SC_MAXIMIZE, MF_BYCOMMAND);
    LoadIcons(hwnd, hInstance);
    if (AttachToService()) {
        ShowService(hwnd);
    } else {
        HostEngine(hwnd);
    }
    SetTimer(hwnd, kTickTimer, 1000, NULL);
}

void OnTimer(HWND hwnd, WPARAM idTimer)
{
    if (idTimer == LOG_VIEW_TIMER) OnLogViewTimer(hwnd);
    if (idTimer != kTickTimer) return;
    if (FollowingService()) {
        if (FollowService()) ShowOnlineState(reportClient().nFace);
        ShowTrayState();
        return;
    }
    SumUpServerRequests();  // also when the flood has ended
    WatchServedClock();
    ShowTrayState();        // the clock may have gone unchecked too long
    OnClientTick();
    if (CountDownToExit(reportClient())) PostMessageA(hwnd, WM_CLOSE, 0, 0);
}

void OnInitMenuPopup(HMENU hMenu)
{
    bool fOnline = reportClient().nFace != FACE_OFFLINE;
    CheckMenuItem(hMenu, IDM_ONLINE, MF_BYCOMMAND | (fOnline ? MF_CHECKED : MF_UNCHECKED));
}

// Either notice of waking (both may come) brings the overdue poll; the
// history keeps the one that always comes.
void OnPowerBroadcast(WPARAM event)
{
    if (event == PBT_APMSUSPEND) KeepPowerEvent(JOURNAL_SLEEP);
    if (event == PBT_APMRESUMEAUTOMATIC) KeepPowerEvent(JOURNAL_WAKE);
    if (event == PBT_APMRESUMEAUTOMATIC || event == PBT_APMRESUMESUSPEND) PollSoon();
}

// The service's settings are the service's to keep.
void KeepSettings()
{
    if (!FollowingService()) SaveSettings(settings);
}

void OnMinimized(HWND hwnd)
{
    ShowWindow(hwnd, SW_HIDE);
    KeepSettings();
}

void OnClose(HWND hwnd)
{
    KeepSettings();
    DestroyWindow(hwnd);
}

void OnDestroy(HWND hwnd)
{
    StopControlPipe();
    StopServerMode();
    CloseClientSocket();
    KillTimer(hwnd, kTickTimer);
    StopLogView(hwnd);
    CloseHistoryWindow();
    if (!FollowingService()) StopKeepingHistory();
    DestroyWindow(shell.TrayWindow);
    PostQuitMessage(0);
    StopWindowHost();
    shell.MainWindow = NULL;
}

}  // namespace

INT_PTR CALLBACK MainDialogProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (RouteHostMessage(msg, wParam, lParam)) return TRUE;
    switch (msg) {
    case WM_INITDIALOG:
        OnInitDialog(hwnd);
        return TRUE;
    case WM_COMMAND:
        OnMainCommand(hwnd, LOWORD(wParam), HIWORD(wParam));
        return TRUE;
    case WM_TIMER:
        OnTimer(hwnd, wParam);
        return TRUE;
    case WM_POWERBROADCAST:
        OnPowerBroadcast(wParam);
        return TRUE;
    case WM_TIMECHANGE:
        OnClockChanged();
        return TRUE;
    case WM_CONTROL_REQUEST:
        AnswerControlRequest(*(const ControlRequest*)wParam, (ControlNews*)lParam);
        return TRUE;
    case WM_CONTEXTMENU:
        OnLogContextMenu(hwnd, (HWND)wParam, lParam);
        return TRUE;
    case WM_INITMENUPOPUP:
        OnInitMenuPopup((HMENU)wParam);
        return TRUE;
    case WM_SIZE:
        if (wParam == SIZE_MINIMIZED) OnMinimized(hwnd);
        return TRUE;
    case WM_CLOSE:
        OnClose(hwnd);
        return TRUE;
    case WM_ENDSESSION:
        if (wParam) OnClose(hwnd);
        return TRUE;
    case WM_DESTROY:
        OnDestroy(hwnd);
        return TRUE;
    }
    return FALSE;
}
