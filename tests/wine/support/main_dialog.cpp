#include "support/main_dialog.h"

#include "app/main_window.h"
#include "driver/driver.h"
#include "resources/resource.h"
#include "state/program_state.h"
#include "support/log_window.h"

void MainDialog::SetUp()
{
    WSADATA wsa;
    WSAStartup(MAKEWORD(1, 1), &wsa);
    DeleteSettingsKey();
    ResetProgramState();
    // Zero, so that a test sees the thresholds that loading derives.
    settings.qwAcceptableMaxLoopDelay = 0;
    settings.qwIgnorableMaxTimeDifference = 0;
}

void MainDialog::TearDown()
{
    if (IsWindow(hMain)) DestroyWindow(hMain);
    shell.MainWindow = NULL;
    PumpMessages();
    WSACleanup();
}

void MainDialog::CreateMainWindow()
{
    ForgetLog();  // a new window's log begins empty
    hMain = CreateDialogParamA(GetModuleHandleA(NULL), MAKEINTRESOURCEA(IDD_MAIN), NULL, MainDialogProc, 0);
    ASSERT_NE(hMain, (HWND)NULL);
    PumpMessages();
}

std::string MainDialog::Text(int id)
{
    char text[300] = {};
    GetDlgItemTextA(hMain, id, text, sizeof text);
    return text;
}

void MainDialog::Type(int id, const char* text)
{
    SetDlgItemTextA(hMain, id, text);
}

void MainDialog::Leave(int id)
{
    SendMessageA(hMain, WM_COMMAND, MAKEWPARAM(id, EN_KILLFOCUS), (LPARAM)GetDlgItem(hMain, id));
}

void MainDialog::Click(int id)
{
    CheckDlgButton(hMain, id, IsDlgButtonChecked(hMain, id) ? BST_UNCHECKED : BST_CHECKED);
    SendMessageA(hMain, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), (LPARAM)GetDlgItem(hMain, id));
}

std::string MainDialog::WaitForLine(bool (*done)(const std::string&), DWORD timeoutMs)
{
    DWORD start = GetTickCount();
    for (;;) {
        PumpMessages();
        for (const std::string& line : ReadLog()) {
            if (done(line)) return line;
        }
        if (GetTickCount() - start >= timeoutMs) return "";
        MsgWaitForMultipleObjects(0, NULL, FALSE, 50, QS_ALLINPUT);
    }
}
