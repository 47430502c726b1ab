// The process: refuses a second instance, starts Windows Sockets, creates
// the main window and runs the one message loop until it is destroyed.
#include <windows.h>
#include <winsock.h>
#include <commctrl.h>

#include "app/main_window.h"
#include "log/activity_log.h"
#include "resources/resource.h"
#include "state/program_state.h"

namespace {

const char kCaption[] = "Tamarin Time";

// The tray window's class marks a running instance.
bool AnotherInstanceRuns()
{
    if (FindWindowA("Tamarin Time", NULL) == NULL) return false;
    MessageBoxA(NULL, "２つ以上同時に起動することはできません。", kCaption, MB_ICONINFORMATION);
    return true;
}

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

void RunMessageLoop()
{
    MSG msg;
    while (GetMessageA(&msg, NULL, 0, 0) > 0) {
        if (IsDialogMessageA(shell.MainWindow, &msg)) continue;
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
}

}  // namespace

int WINAPI WinMain(HINSTANCE hInstance, HINSTANCE, LPSTR, int)
{
    if (AnotherInstanceRuns()) return 0;
    OpenLogFile("TMRN.LOG");

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
    WSACleanup();
    CloseLogFile();
    return 0;
}
