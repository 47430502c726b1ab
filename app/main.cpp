// Entry point. For now the program opens a window with its activity log and
// writes a greeting and the clock's reading into it; it ends when closed.
#include <windows.h>

#include "app/state.h"
#include "log/activity_log.h"
#include "timebase/clock.h"

namespace {

const char kWindowClass[] = "TamarinTimeLogWindow";

void OnCreate(HWND hwnd)
{
    HINSTANCE hInstance = (HINSTANCE)GetWindowLongPtrA(hwnd, GWLP_HINSTANCE);
    CreateWindowExA(WS_EX_CLIENTEDGE, "LISTBOX", "",
                    WS_CHILD | WS_VISIBLE | WS_VSCROLL | LBS_NOINTEGRALHEIGHT | LBS_NOTIFY, 8, 8, 560, 300,
                    hwnd, (HMENU)(INT_PTR)IDC_LOG, hInstance, NULL);
}

LRESULT CALLBACK LogWindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    switch (msg) {
    case WM_CREATE:
        OnCreate(hwnd);
        return 0;
    case WM_APP_LOGLINE:
        OnLogLineMessage(lParam);
        return 0;
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcA(hwnd, msg, wParam, lParam);
}

bool CreateLogWindow(HINSTANCE hInstance)
{
    WNDCLASSA wc = {};
    wc.lpfnWndProc = LogWindowProc;
    wc.hInstance = hInstance;
    wc.hCursor = LoadCursor(NULL, IDC_ARROW);
    wc.hbrBackground = (HBRUSH)(COLOR_BTNFACE + 1);
    wc.lpszClassName = kWindowClass;
    if (!RegisterClassA(&wc)) return false;
    MainWindow = CreateWindowA(kWindowClass, "Tamarin Time network time client",
                               WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX, CW_USEDEFAULT,
                               CW_USEDEFAULT, 592, 360, NULL, NULL, hInstance, NULL);
    return MainWindow != NULL;
}

}  // namespace

int WINAPI WinMain(HINSTANCE hInstance, HINSTANCE, LPSTR, int nShowCmd)
{
    OpenLogFile("TMRN.LOG");
    if (!CreateLogWindow(hInstance)) return 1;
    ShowWindow(MainWindow, nShowCmd);

    LogLine("Hello! This is Tamarin Time network time client.");
    LogSeconds("NTP時刻 ", NtpNow(), " 秒");

    MSG msg;
    while (GetMessageA(&msg, NULL, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    CloseLogFile();
    return 0;
}
