#include "app/about.h"

#include <shellapi.h>

#include "log/activity_log.h"
#include "resources/resource.h"

namespace {

const char kHomePage[] = "https://tamarin-time.halden-works.example/";

bool TokenIsElevated()
{
    HANDLE hToken = NULL;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &hToken)) return false;
    TOKEN_ELEVATION elevation = {};
    DWORD cb = 0;
    BOOL fRead = GetTokenInformation(hToken, TokenElevation, &elevation, sizeof elevation, &cb);
    CloseHandle(hToken);
    return fRead && elevation.TokenIsElevated != 0;
}

// A browser started from here would run with the administrator's rights
// that setting the clock needs: then the log gives the address instead. The
// box closes whatever the shell makes of the address, also without a browser.
void OnGoHome(HWND hwnd)
{
    if (TokenIsElevated()) {
        LogLine("管理者の権限で動いているため、ホームページを開きません");
        LogLine(kHomePage);
    } else {
        ShellExecuteA(NULL, NULL, kHomePage, NULL, NULL, SW_SHOWNORMAL);
    }
    EndDialog(hwnd, 0);
}

void OnCommand(HWND hwnd, WORD id)
{
    switch (id) {
    case IDOK:
    case IDCANCEL:
        EndDialog(hwnd, 0);
        break;
    case IDC_GOHOME:
        OnGoHome(hwnd);
        break;
    }
}

}  // namespace

INT_PTR CALLBACK AboutDialogProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM)
{
    switch (msg) {
    case WM_INITDIALOG:
        return TRUE;
    case WM_CLOSE:
        EndDialog(hwnd, 0);
        return TRUE;
    case WM_COMMAND:
        OnCommand(hwnd, LOWORD(wParam));
        return TRUE;
    }
    return FALSE;
}
