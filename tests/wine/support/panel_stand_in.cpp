// Stands in for the Date/Time panel, which Wine does not have, as Windows 7
// to 11 show it: its main thread shows a popup with a button and a tab
// control of three pages, opened at the page its command line asks for
// ("timedate.cpl,@0,N"); page 0 holds the button that changes the time zone.
// The process ends when the popup is closed.
#include <windows.h>
#include <commctrl.h>
#include <stdlib.h>
#include <string.h>

namespace {

LRESULT CALLBACK PanelProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (msg == WM_DESTROY) PostQuitMessage(0);
    return DefWindowProcA(hwnd, msg, wParam, lParam);
}

// The page after the command line's last comma.
int AskedPage()
{
    const char* comma = strrchr(GetCommandLineA(), ',');
    return comma != NULL ? atoi(comma + 1) : 0;
}

}  // namespace

int WINAPI WinMain(HINSTANCE hInstance, HINSTANCE, LPSTR, int)
{
    INITCOMMONCONTROLSEX icc = {sizeof icc, ICC_TAB_CLASSES};
    InitCommonControlsEx(&icc);
    WNDCLASSA wc = {};
    wc.lpfnWndProc = PanelProc;
    wc.hInstance = hInstance;
    wc.lpszClassName = "TamarinPanelStandIn";
    RegisterClassA(&wc);
    HWND hPanel = CreateWindowA(wc.lpszClassName, "panel", WS_POPUP | WS_VISIBLE, 0, 0, 300, 100, NULL, NULL,
                                hInstance, NULL);
    CreateWindowA("BUTTON", "OK", WS_CHILD | WS_VISIBLE, 0, 0, 50, 20, hPanel, NULL, hInstance, NULL);
    HWND hTab = CreateWindowA(WC_TABCONTROLA, "", WS_CHILD | WS_VISIBLE, 0, 30, 300, 70, hPanel, NULL, hInstance, NULL);
    const char* pages[] = {"日付と時刻", "追加の時計", "インターネット時刻"};
    for (int i = 0; i < 3; ++i) {
        TCITEMA item = {};
        item.mask = TCIF_TEXT;
        item.pszText = (char*)pages[i];
        SendMessageA(hTab, TCM_INSERTITEMA, i, (LPARAM)&item);
    }
    int page = AskedPage();
    SendMessageA(hTab, TCM_SETCURSEL, page, 0);
    if (page == 0) {
        CreateWindowA("BUTTON", "タイム ゾーンの変更(&Z)...", WS_CHILD | WS_VISIBLE, 60, 0, 200, 20, hPanel, NULL,
                      hInstance, NULL);
    }
    MSG msg;
    while (GetMessageA(&msg, NULL, 0, 0) > 0) DispatchMessageA(&msg);
    return 0;
}
