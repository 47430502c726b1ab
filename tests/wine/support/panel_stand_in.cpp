// Stands in for the Date/Time panel, which Wine does not have: its main
// thread shows a popup with a button and a tab control, and the process
// ends when the popup is closed.
#include <windows.h>
#include <commctrl.h>

namespace {

LRESULT CALLBACK PanelProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (msg == WM_DESTROY) PostQuitMessage(0);
    return DefWindowProcA(hwnd, msg, wParam, lParam);
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
    HWND hPanel = CreateWindowA(wc.lpszClassName, "panel", WS_POPUP | WS_VISIBLE, 0, 0, 200, 100, NULL, NULL,
                                hInstance, NULL);
    CreateWindowA("BUTTON", "OK", WS_CHILD | WS_VISIBLE, 0, 0, 50, 20, hPanel, NULL, hInstance, NULL);
    CreateWindowA(WC_TABCONTROLA, "", WS_CHILD | WS_VISIBLE, 0, 30, 200, 70, hPanel, NULL, hInstance, NULL);
    MSG msg;
    while (GetMessageA(&msg, NULL, 0, 0) > 0) DispatchMessageA(&msg);
    return 0;
}
