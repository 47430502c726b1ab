#include "app/menu_commands.h"

#include "app/about.h"
#include "app/service_link.h"
#include "app/shell_state.h"
#include "app/timezone.h"
#include "history/history_window.h"
#include "log/activity_log.h"
#include "resources/resource.h"
#include "sntp/client.h"
#include "sntp/windows_time.h"

namespace {

void RestoreMainWindow()
{
    SetForegroundWindow(shell.MainWindow);
    ShowWindow(shell.MainWindow, SW_RESTORE);
}

void StartTimeZoneThread()
{
    DWORD dwThreadId;
    HANDLE hThread = CreateThread(NULL, 0, TimeZoneThreadFunc, NULL, 0, &dwThreadId);
    if (hThread == NULL) {
        LogError("CreateThread", (int)GetLastError());
        return;
    }
    CloseHandle(hThread);  // it runs on by itself; nobody waits for it
}

// Two programs that set the clock step it in turn: said each time the
// client goes online while the Windows Time service synchronises too.
void WarnOfWindowsTime()
{
    if (!windowsTime().fSynchronising) return;
    LogLine("Windows Time サービスもこのパソコンの時計を合わせています");
    LogLine("止めるには「日付と時刻」の設定で「時刻を自動的に設定する」をオフにしてください");
}

void OnToggleOnline()
{
    bool fWasOff = reportClient().nFace == FACE_OFFLINE;
    if (FollowingService()) {
        AskServiceOnline(fWasOff);
        return;
    }
    ToggleOnline();
    if (fWasOff) WarnOfWindowsTime();
}

}  // namespace

HINSTANCE InstanceOf(HWND hwnd)
{
    return (HINSTANCE)GetWindowLongPtrA(hwnd, GWLP_HINSTANCE);
}

bool RunMenuCommand(WORD id)
{
    HWND hMain = shell.MainWindow;
    switch (id) {
    case IDM_SETTINGS:
        RestoreMainWindow();
        return true;
    case IDM_HISTORY:
        OpenHistoryWindow(InstanceOf(hMain), hMain);
        return true;
    case IDM_TIMEZONE:
        StartTimeZoneThread();
        return true;
    case IDM_ONLINE:
        OnToggleOnline();
        return true;
    case IDM_ABOUT:
        DialogBoxParamA(InstanceOf(hMain), MAKEINTRESOURCEA(IDD_ABOUT), hMain, AboutDialogProc, 0);
        return true;
    case IDM_EXIT:
        PostMessageA(hMain, WM_CLOSE, 0, 0);
        return true;
    }
    return false;
}
