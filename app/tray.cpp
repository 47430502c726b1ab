#include "app/tray.h"

#include <string.h>

#include "app/menu_commands.h"
#include "app/shell_state.h"
#include "app/tray_tip.h"
#include "log/activity_log.h"
#include "resources/resource.h"
#include "settings/settings_table.h"
#include "sntp/client.h"
#include "sntp/server.h"
#include "timebase/clock.h"

namespace {

const char kTrayClass[] = "Tamarin Time";
const char kWindowName[] = "Tamarin Time";

UINT msgNotifyIcon = 0;
UINT msgTaskbarCreated = 0;  // the shell's notification area was (re)created
HMENU hTrayMenu = NULL;
HICON hIconApp16 = NULL;
HICON hIconOnline16 = NULL;
HICON hIconWarning16 = NULL;
bool fIconAdded = false;
TipState nShownState = TIP_OFFLINE;  // what the icon and the tip show now
TrayTipBuffer szShownTip = "";

// At logon the shell may not take the icon yet: it is asked again this
// often until it does, for the icon is the only way back to the window.
const UINT_PTR kIconRetryTimer = 1;
const UINT kIconRetry_ms = 3000;

BOOL NotifyTrayIcon(DWORD dwMessage, HWND hwnd, UINT uID, HICON hIcon, UINT uCallbackMessage, const char* szTip)
{
    NOTIFYICONDATAA nid;
    memset(&nid, 0, sizeof nid);
    nid.cbSize = sizeof nid;
    nid.hWnd = hwnd;
    nid.uID = uID;
    nid.hIcon = hIcon;
    nid.uCallbackMessage = uCallbackMessage;
    if (uCallbackMessage != 0) nid.uFlags |= NIF_MESSAGE;
    if (hIcon != NULL) nid.uFlags |= NIF_ICON;
    if (szTip != NULL) {
        nid.uFlags |= NIF_TIP;
        lstrcpynA(nid.szTip, szTip, sizeof nid.szTip);
    }
    return trayNotifyIcon(dwMessage, &nid);
}


void ShowTrayMenu(HWND hwnd)
{
    POINT pt;
    GetCursorPos(&pt);
    TPMPARAMS tpm;
    memset(&tpm, 0, sizeof tpm);
    tpm.cbSize = sizeof tpm;
    tpm.rcExclude.left = pt.x;
    tpm.rcExclude.top = pt.y;
    tpm.rcExclude.right = pt.x + 1;
    tpm.rcExclude.bottom = pt.y + 1;
    SetForegroundWindow(hwnd);
    TrackPopupMenuEx(hTrayMenu, TPM_RIGHTBUTTON, pt.x, pt.y, hwnd, &tpm);
    // Without a message of its own after the menu, the window may fail to
    // open it the next time (TrackPopupMenu's documented rule).
    PostMessageA(hwnd, WM_NULL, 0, 0);
}

void OnNotifyIcon(HWND hwnd, LPARAM lParam)
{
    switch (lParam) {
    case WM_LBUTTONDOWN:
    case WM_RBUTTONDOWN:
        ShowTrayMenu(hwnd);
        break;
    case WM_LBUTTONDBLCLK:
    case WM_RBUTTONDBLCLK:
        RunMenuCommand(IDM_SETTINGS);  // the window comes back as from the menu
        break;
    }
}

TipMoment LocalMoment(NtpTimestamp t)
{
    SYSTEMTIME local = NtpToLocalTime(t);
    TipMoment moment = {local.wMonth, local.wDay, local.wHour, local.wMinute};
    return moment;
}

// The state the client is in: offline as the button shows it; online, a
// warning once the clock has gone unchecked too long or its correction was
// refused. Its tip tells since when, from the last judged reply or from
// going online.
TipState StateOfClient(TrayTipBuffer& tip)
{
    const ClientReport report = reportClient();
    bool fJudged = report.qwLastJudged != 0;
    bool fCheckedLast = fJudged && report.qwLastJudged_ms >= report.qwOnlineSince_ms;
    TipFacts facts = {report.nFace, report.nTryCause == TRY_REFUSED, report.qwTryingSince_ms,
                      report.reference.fSynchronized != 0, fJudged, MonotonicMs(),
                      fCheckedLast ? report.qwLastJudged_ms : report.qwOnlineSince_ms, report.qwUncheckedLimit_ms};
    TipState state = DecideTipState(facts);
    if (state == TIP_TRYING || state == TIP_TRYING_TOO_LONG) {
        FormatTryingTip(tip, LocalMoment(report.qwTryingSince), report.nTryCause);
        return state;
    }
    NtpTimestamp qwSince = state == TIP_WARNING && !fCheckedLast ? report.qwOnlineSince : report.qwLastJudged;
    FormatTrayTip(tip, state, LocalMoment(qwSince), report.llLastOffset);
    if (state == TIP_SYNCHRONISED) NoteAgreement(tip, report.nAgreeing, report.nSources);
    return state;
}

// The client's state, and in the tip whether server mode runs when it should.
TipState CurrentState(TrayTipBuffer& tip)
{
    TipState state = StateOfClient(tip);
    if (ServerModeWanted(settings) && !ServerModeRunning()) NoteServerModeDown(tip);
    return state;
}

HICON IconOf(TipState state)
{
    if (state == TIP_OFFLINE) return hIconApp16;
    return state == TIP_WARNING || state == TIP_TRYING_TOO_LONG ? hIconWarning16 : hIconOnline16;
}

// The icon and the tip of the state the client is in, so that a restarted
// shell shows them; until the shell takes the icon, asked again on a timer.
void AddTrayIcon(HWND hwnd)
{
    nShownState = CurrentState(szShownTip);
    fIconAdded = TrayIconAdd(hwnd, TRAY_ICON_ID, IconOf(nShownState), msgNotifyIcon, szShownTip) != FALSE;
    if (fIconAdded) {
        KillTimer(hwnd, kIconRetryTimer);
    } else {
        SetTimer(hwnd, kIconRetryTimer, kIconRetry_ms, NULL);
    }
}

void OnTimer(HWND hwnd, WPARAM idTimer)
{
    if (idTimer == kIconRetryTimer && !fIconAdded) AddTrayIcon(hwnd);
}

// An elevated window (setting the clock needs one) gets no message from the
// unelevated shell unless it lets it in; the call exists from Windows 7 on.
void AllowTaskbarCreated(HWND hwnd)
{
    typedef BOOL(WINAPI * ChangeFilter)(HWND, UINT, DWORD, void*);
    HMODULE hUser = GetModuleHandleA("user32.dll");
    FARPROC proc = hUser != NULL ? GetProcAddress(hUser, "ChangeWindowMessageFilterEx") : NULL;
    const DWORD kAllow = 1;  // MSGFLT_ALLOW
    if (proc != NULL) ((ChangeFilter)(void*)proc)(hwnd, msgTaskbarCreated, kAllow, NULL);
}

void OnCreate(HWND hwnd)
{
    hTrayMenu = CreatePopupMenu();
    AppendMenuA(hTrayMenu, MF_STRING, IDM_TIMEZONE, "タイムゾーンの設定(&Z)...");
    AppendMenuA(hTrayMenu, MF_STRING, IDM_SETTINGS, "設定(&S)...");
    AppendMenuA(hTrayMenu, MF_STRING, IDM_HISTORY, "履歴(&H)...");
    AppendMenuA(hTrayMenu, MF_SEPARATOR, 0, NULL);
    AppendMenuA(hTrayMenu, MF_STRING, IDM_ONLINE, "オンライン(&O)");
    AppendMenuA(hTrayMenu, MF_SEPARATOR, 0, NULL);
    AppendMenuA(hTrayMenu, MF_STRING, IDM_EXIT, "終了(&X)");
    msgNotifyIcon = RegisterWindowMessageA("Shell_NotifyIcon");
    msgTaskbarCreated = RegisterWindowMessageA("TaskbarCreated");
    AllowTaskbarCreated(hwnd);
    AddTrayIcon(hwnd);
}

void OnDestroy(HWND hwnd)
{
    KillTimer(hwnd, kIconRetryTimer);
    TrayIconDelete(hwnd, TRAY_ICON_ID);
    fIconAdded = false;
    DestroyMenu(hTrayMenu);
    hTrayMenu = NULL;
}

}  // namespace

BOOL(WINAPI* trayNotifyIcon)(DWORD dwMessage, PNOTIFYICONDATAA nid) = Shell_NotifyIconA;

void CreateTrayWindow(HINSTANCE hInstance, HICON hIconOffline, HICON hIconOnline, HICON hIconWarning)
{
    hIconApp16 = hIconOffline;
    hIconOnline16 = hIconOnline;
    hIconWarning16 = hIconWarning;
    WNDCLASSA wc;
    memset(&wc, 0, sizeof wc);
    wc.lpfnWndProc = TrayWindowProc;
    wc.hInstance = hInstance;
    wc.lpszClassName = kTrayClass;
    RegisterClassA(&wc);
    shell.TrayWindow = CreateWindowExA(0, kTrayClass, kWindowName, WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, CW_USEDEFAULT,
                                       CW_USEDEFAULT, CW_USEDEFAULT, NULL, NULL, hInstance, NULL);
}

void ShowTrayOnlineState(bool fOnline)
{
    CheckMenuItem(hTrayMenu, IDM_ONLINE, MF_BYCOMMAND | (fOnline ? MF_CHECKED : MF_UNCHECKED));
    ShowTrayState();
}

void ShowTrayState()
{
    TrayTipBuffer tip;
    TipState state = CurrentState(tip);
    if (state == nShownState && strcmp(tip, szShownTip) == 0) return;
    nShownState = state;
    memcpy(szShownTip, tip, sizeof tip);
    TrayIconModify(shell.TrayWindow, TRAY_ICON_ID, IconOf(state), 0, tip);
}


BOOL TrayIconAdd(HWND hwnd, UINT uID, HICON hIcon, UINT uCallbackMessage, const char* szTip)
{
    return NotifyTrayIcon(NIM_ADD, hwnd, uID, hIcon, uCallbackMessage, szTip);
}

void TrayIconModify(HWND hwnd, UINT uID, HICON hIcon, UINT uCallbackMessage, const char* szTip)
{
    NotifyTrayIcon(NIM_MODIFY, hwnd, uID, hIcon, uCallbackMessage, szTip);
}

void TrayIconDelete(HWND hwnd, UINT uID)
{
    NotifyTrayIcon(NIM_DELETE, hwnd, uID, NULL, 0, NULL);
}

LRESULT CALLBACK TrayWindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (msg == msgNotifyIcon && msg != 0) {
        OnNotifyIcon(hwnd, lParam);
        return 0;
    }
    if (msg == msgTaskbarCreated && msg != 0) {
        AddTrayIcon(hwnd);
        return 0;
    }
    switch (msg) {
    case WM_CREATE:
        OnCreate(hwnd);
        return 0;
    case WM_DESTROY:
        OnDestroy(hwnd);
        return 0;
    case WM_CLOSE:
        PostMessageA(shell.MainWindow, WM_CLOSE, 0, 0);
        return 0;
    case WM_COMMAND:
        RunMenuCommand(LOWORD(wParam));
        return 0;
    case WM_TIMER:
        OnTimer(hwnd, wParam);
        return 0;
    }
    return DefWindowProcA(hwnd, msg, wParam, lParam);
}
