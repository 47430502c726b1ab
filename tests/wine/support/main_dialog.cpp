#include "support/main_dialog.h"

#include <string.h>

#include "app/main_window.h"
#include "app/shell_state.h"
#include "app/tray.h"
#include "driver/driver.h"
#include "log/activity_log.h"
#include "resources/resource.h"
#include "settings/settings_table.h"
#include "support/log_window.h"

void MainDialog::SetUp()
{
    WSADATA wsa;
    WSAStartup(MAKEWORD(1, 1), &wsa);
    DeleteSettingsKey();
    ForgetHistory();
    ResetProgramState();
}

void MainDialog::TearDown()
{
    if (IsWindow(hMain)) DestroyWindow(hMain);
    shell.MainWindow = NULL;
    SetLogOwner(0, NULL);
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
    // A combo box tells of typing only, not of a text set.
    if (id == IDC_SERVERNAME) SendMessageA(hMain, WM_COMMAND, MAKEWPARAM(id, CBN_EDITCHANGE), 0);
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

namespace {

HMENU hMenuShown = NULL;
std::string firstItemShown;

// Inside the menu's own loop: which menu its popup shows, then closes it.
void CALLBACK CloseMenu(HWND, UINT, UINT_PTR idTimer, DWORD)
{
    HWND hPopup = FindWindowA("#32768", NULL);
    if (hPopup != NULL && IsWindowVisible(hPopup)) hMenuShown = (HMENU)SendMessageA(hPopup, MN_GETHMENU, 0, 0);
    char text[64] = {};
    GetMenuStringA(hMenuShown, 0, text, sizeof text, MF_BYPOSITION);
    firstItemShown = std::to_string(GetMenuItemID(hMenuShown, 0)) + " " + text;
    KillTimer(NULL, idTimer);
    EndMenu();
}

void SendClosingMenu(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    hMenuShown = NULL;
    firstItemShown.clear();
    UINT_PTR idTimer = SetTimer(NULL, 0, 200, CloseMenu);
    SendMessageA(hwnd, msg, wParam, lParam);
    KillTimer(NULL, idTimer);
}

}  // namespace

HMENU MainDialog::MenuOpenedBy(UINT mouse)
{
    SendClosingMenu(shell.TrayWindow, RegisterWindowMessageA("Shell_NotifyIcon"), TRAY_ICON_ID, mouse);
    return hMenuShown;
}

std::string MainDialog::ContextMenuOf(HWND hClicked, LPARAM lParam)
{
    SendClosingMenu(hMain, WM_CONTEXTMENU, (WPARAM)hClicked, lParam);
    return firstItemShown;
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

std::string ClipboardText()
{
    std::string text;
    if (!OpenClipboard(NULL)) return "(not opened)";
    HANDLE hText = GetClipboardData(CF_TEXT);
    if (hText != NULL) text = (const char*)GlobalLock(hText);
    if (hText != NULL) GlobalUnlock(hText);
    CloseClipboard();
    return text;
}

void PutOnClipboard(const char* text)
{
    OpenClipboard(NULL);
    EmptyClipboard();
    HGLOBAL hMem = GlobalAlloc(GMEM_MOVEABLE, strlen(text) + 1);
    strcpy((char*)GlobalLock(hMem), text);
    GlobalUnlock(hMem);
    SetClipboardData(CF_TEXT, hMem);
    CloseClipboard();
}
