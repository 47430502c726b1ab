#include "app/about.h"

#include <shellapi.h>

#include "resources/resource.h"

namespace {

const char kHomePage[] = "https://tamarin-time.halden-works.example/";

// The box closes whatever the shell makes of the address, also without a browser.
void OnGoHome(HWND hwnd)
{
    ShellExecuteA(NULL, NULL, kHomePage, NULL, NULL, SW_SHOWNORMAL);
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
