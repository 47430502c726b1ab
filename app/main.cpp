// The process: refuses a second instance, starts Windows Sockets, creates
// the main window and runs the one message loop until it is destroyed.
#include <windows.h>
#include <winsock.h>
#include <commctrl.h>

#include "app/exit_countdown.h"
#include "base/system_library.h"
#include "app/main_window.h"
#include "app/service_install.h"
#include "app/service_main.h"
#include "app/single_instance.h"
#include "app/shell_state.h"
#include "log/activity_log.h"
#include "resources/resource.h"
#include "settings/settings_table.h"

namespace {

const char kCaption[] = "Tamarin Time";

// A resident instance starts in the tray; a first run or one that ends by
// itself shows its window.
void ShowFirstTime()
{
    if (shell.fFirstRun || !settings.fStayAfterAdjustment) {
        SetForegroundWindow(shell.MainWindow);
        ShowWindow(shell.MainWindow, SW_RESTORE);
    } else {
        ShowWindow(shell.MainWindow, SW_SHOWMINIMIZED);
    }
}

// Windows hands out input, timers and painting only while no posted message
// waits, and a flood of requests keeps the sockets' readiness messages
// coming: so at least every 50 ms, whatever of those waits goes first.
const ULONGLONG kFairPass_ms = 50;
const int kFairPassMessages = 16;  // a window that never validates cannot hold the loop

bool TakeStarvedMessage(MSG* msg)
{
    return PeekMessageA(msg, NULL, 0, 0, PM_REMOVE | PM_QS_INPUT) ||
           PeekMessageA(msg, NULL, WM_TIMER, WM_TIMER, PM_REMOVE) ||
           PeekMessageA(msg, NULL, WM_PAINT, WM_PAINT, PM_REMOVE);
}

// The next message to dispatch; false once WM_QUIT (or a failure) came.
bool NextMessage(MSG* msg, ULONGLONG* pqwNextPass, int* pnPassLeft)
{
    ULONGLONG qwNow = GetTickCount64();
    if (qwNow >= *pqwNextPass) {
        *pqwNextPass = qwNow + kFairPass_ms;
        *pnPassLeft = kFairPassMessages;
    }
    if (*pnPassLeft > 0) {
        if (TakeStarvedMessage(msg)) {
            --*pnPassLeft;
            return msg->message != WM_QUIT;  // which PeekMessage hands out whatever the filter
        }
        *pnPassLeft = 0;
    }
    return GetMessageA(msg, NULL, 0, 0) > 0;
}

void RunMessageLoop()
{
    MSG msg;
    ULONGLONG qwNextPass = 0;
    int nPassLeft = 0;
    while (NextMessage(&msg, &qwNextPass, &nPassLeft)) {
        if (IsDialogMessageA(shell.MainWindow, &msg)) continue;
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
}

// The service's own switches: whether the command line was one, and the
// exit code its work came to (a Windows error, 0 when done).
bool RunSwitch(const char* szCommandLine, int* pnExit)
{
    if (lstrcmpiA(szCommandLine, "/service") == 0) {
        *pnExit = RunService() ? 0 : (int)GetLastError();
    } else if (lstrcmpiA(szCommandLine, "/install-service") == 0) {
        *pnExit = (int)InstallService();
    } else if (lstrcmpiA(szCommandLine, "/uninstall-service") == 0) {
        *pnExit = (int)UninstallService();
    } else {
        return false;
    }
    return true;
}

}  // namespace

int WINAPI WinMain(HINSTANCE hInstance, HINSTANCE, LPSTR lpCmdLine, int)
{
    LoadFromSystemFolderOnly();
    int nSwitchExit = 0;
    if (RunSwitch(lpCmdLine, &nSwitchExit)) return nSwitchExit;
    HANDLE hInstanceMutex = NULL;
    if (!TakeInstanceMutex(&hInstanceMutex)) return RUN_ALREADY_RUNNING;
    OpenLogFile("TMRN.LOG", "TMRN.OLD.LOG");

    WSADATA wsa;
    if (WSAStartup(MAKEWORD(1, 1), &wsa) != 0) {
        MessageBoxA(NULL, "Windows Socketライブラリが初期化できません。終了します。", kCaption, MB_ICONERROR);
        CloseLogFile();
        return 0;
    }
    // The dialog's up-down controls need their window class registered.
    INITCOMMONCONTROLSEX icc = {sizeof icc, ICC_UPDOWN_CLASS};
    InitCommonControlsEx(&icc);

    if (CreateDialogParamA(hInstance, MAKEINTRESOURCEA(IDD_MAIN), NULL, MainDialogProc, 0) == NULL) {
        MessageBoxA(NULL, "ウインドウが生成できません。終了します。", kCaption, MB_ICONERROR);
    } else {
        ShowFirstTime();
        RunMessageLoop();
    }
    if (hInstanceMutex != NULL) CloseHandle(hInstanceMutex);  // the next start may begin while this one finishes
    WSACleanup();
    CloseLogFile();
    return ExitCodeOfRun();
}
