#include "app/main_window.h"

#include <commctrl.h>

#include "app/about.h"
#include "app/state.h"
#include "app/tray.h"
#include "log/activity_log.h"
#include "log/log_format.h"
#include "resources/resource.h"
#include "settings/settings.h"
#include "sntp/client.h"
#include "sntp/client_read.h"
#include "sntp/server.h"
#include "sntp/tick.h"

namespace {

const UINT_PTR kTickTimer = 1;

HINSTANCE InstanceOf(HWND hwnd)
{
    return (HINSTANCE)GetWindowLongPtrA(hwnd, GWLP_HINSTANCE);
}

void RegisterMessages()
{
    msgGetHostByXXXX = RegisterWindowMessageA("WSAAsyncGetHostByXXXX");
    msgGetServByXXXX = RegisterWindowMessageA("WSAAsyncGetServByXXXX");
    msgSelectClient = RegisterWindowMessageA("WSAAsyncSelectClient");
    msgSelectServer = RegisterWindowMessageA("WSAAsyncSelectServer");
}

HICON LoadIconImage(HINSTANCE hInstance, int id, int size)
{
    return (HICON)LoadImageA(hInstance, MAKEINTRESOURCEA(id), IMAGE_ICON, size, size, 0);
}

void LoadIcons(HWND hwnd, HINSTANCE hInstance)
{
    hIconApp16 = LoadIconImage(hInstance, IDI_APP, 16);
    hIconApp32 = LoadIconImage(hInstance, IDI_APP, 32);
    hIconOnline16 = LoadIconImage(hInstance, IDI_ONLINE, 16);
    SendMessageA(hwnd, WM_SETICON, ICON_SMALL, (LPARAM)hIconApp16);
    SendMessageA(hwnd, WM_SETICON, ICON_BIG, (LPARAM)hIconApp32);
}

void LogGreeting()
{
    LogLine("Hello! This is Tamarin Time network time client.");
    LogLine("Revision date/time is Jun 24 1997 12:29:56.");
    if (!fFirstRun) return;
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

void OnInitDialog(HWND hwnd)
{
    MainWindow = hwnd;
    HINSTANCE hInstance = InstanceOf(hwnd);
    RegisterMessages();
    HMENU hSystemMenu = GetSystemMenu(hwnd, FALSE);
    RemoveMenu(hSystemMenu, SC_SIZE, MF_BYCOMMAND);
    RemoveMenu(hSystemMenu, SC_MAXIMIZE, MF_BYCOMMAND);
    LoadIcons(hwnd, hInstance);
    SetUpSettingsControls(hwnd);
    fFirstRun = LoadSettings(hwnd) ? 0 : 1;
    LogGreeting();
    CreateTrayWindow(hInstance, hIconApp16);
    SetTimer(hwnd, kTickTimer, 1000, NULL);
    if (fStartAtFirst) PostMessageA(hwnd, WM_COMMAND, IDM_ONLINE, 0);
    if (fStayAfterAdjustment && fActAsSNTPServer) StartServerMode(hwnd);
    LogCounters();
}

void OnCommand(HWND hwnd, WORD id, WORD code)
{
    switch (id) {
    case IDCANCEL:
        ShowWindow(hwnd, SW_MINIMIZE);  // the minimise notification hides and saves
        break;
    case IDC_INTERVAL:
    case IDC_MAXDELAY:
    case IDC_IGNOREDIFF:
    case IDC_STARTONLINE:
    case IDC_STAY:
    case IDC_SERVERMODE:
        OnSettingsCommand(hwnd, id, code);
        break;
    case IDM_ABOUT:
        DialogBoxParamA(InstanceOf(hwnd), MAKEINTRESOURCEA(IDD_ABOUT), MainWindow, AboutDialogProc, 0);
        break;
    case IDM_TIMEZONE:
        PostMessageA(TrayWindow, WM_COMMAND, IDM_TIMEZONE, 0);
        break;
    case IDM_ONLINE:
        ToggleOnline(hwnd);
        break;
    case IDM_EXIT:
        PostMessageA(MainWindow, WM_CLOSE, 0, 0);
        break;
    }
}

void OnInitMenuPopup(HMENU hMenu)
{
    CheckMenuItem(hMenu, IDM_ONLINE, MF_BYCOMMAND | (fOnline ? MF_CHECKED : MF_UNCHECKED));
}

void OnMinimized(HWND hwnd)
{
    ShowWindow(hwnd, SW_HIDE);
    SaveSettings(hwnd);
}

void OnClose(HWND hwnd)
{
    SaveSettings(hwnd);
    DestroyWindow(hwnd);
}

void OnDestroy(HWND hwnd)
{
    StopServerMode();
    CloseClientSocket();
    KillTimer(hwnd, kTickTimer);
    DestroyWindow(TrayWindow);
    PostQuitMessage(0);
}

// Registered messages are 0 until WM_INITDIALOG registers them.
bool IsMessage(UINT msg, UINT registered)
{
    return registered != 0 && msg == registered;
}

}  // namespace

INT_PTR CALLBACK MainDialogProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (IsMessage(msg, msgGetHostByXXXX)) {
        OnHostResolved((HANDLE)wParam, WSAGETASYNCERROR(lParam));
        return TRUE;
    }
    if (IsMessage(msg, msgGetServByXXXX)) {
        OnServiceResolved((HANDLE)wParam, WSAGETASYNCERROR(lParam));
        return TRUE;
    }
    if (IsMessage(msg, msgSelectClient)) {
        OnClientRead((SOCKET)wParam, WSAGETSELECTEVENT(lParam));
        return TRUE;
    }
    if (IsMessage(msg, msgSelectServer)) {
        OnServerRead((SOCKET)wParam, WSAGETSELECTEVENT(lParam));
        return TRUE;
    }
    switch (msg) {
    case WM_INITDIALOG:
        OnInitDialog(hwnd);
        return TRUE;
    case WM_COMMAND:
        OnCommand(hwnd, LOWORD(wParam), HIWORD(wParam));
        return TRUE;
    case WM_TIMER:
        OnTimerTick(wParam);
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
    case WM_APP_LOGLINE:
        OnLogLineMessage(lParam);
        return TRUE;
    }
    return FALSE;
}
