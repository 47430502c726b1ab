#include "history/history_window.h"

#include "base/clipboard.h"
#include "history/history_paint.h"
#include "history/history_text.h"
#include "journal/history_keeper.h"
#include "log/activity_log.h"
#include "resources/resource.h"
#include "settings/settings_table.h"
#include "sntp/client.h"
#include "timebase/clock.h"

namespace {

const char kHistoryClass[] = "Tamarin Time History";  // tests find the window by it
const int kWidth_px96 = 640, kHeight_px96 = 500;  // at 96 dpi; scaled to the system's

HWND hHistory = NULL;
HFONT hFont = NULL;
HBITMAP hBackBuffer = NULL;  // the client area's size; drawn into, then copied in one go
SIZE backBufferSize = {0, 0};
int nDpi = 96;
HistoryPlot plot;  // 20 KB: kept off the stack

int SystemDpi()
{
    HDC hdc = GetDC(NULL);
    int dpi = GetDeviceCaps(hdc, LOGPIXELSY);
    ReleaseDC(NULL, hdc);
    return dpi > 0 ? dpi : 96;
}

// The dialogs' font, at nine points for the system's DPI.
HFONT MakeFont()
{
    LOGFONTA lf;
    GetObjectA(GetStockObject(DEFAULT_GUI_FONT), sizeof lf, &lf);
    lf.lfHeight = -MulDiv(9, nDpi, 72);
    lf.lfWidth = 0;
    return CreateFontIndirectA(&lf);
}

// Local time minus UTC now, for the time axis's labels.
int32_t LocalBias()
{
    NtpTimestamp now = NtpNow();
    SYSTEMTIME local = NtpToLocalTime(now);
    return (int32_t)((int64_t)(SystemTimeToNtp(&local) - now) >> 32);
}

// The header and a line a reply, each ended by CR LF, into buffer; its length.
size_t WriteHistoryText(char* buffer)
{
    const ReplyHistory& replies = judgedReplies;
    size_t length = (size_t)wsprintfA(buffer, "%s\r\n", HISTORY_HEADER);
    for (int i = 0; i < replies.nCount; ++i) {
        const HistoryPoint& point = HistoryAt(replies, i);
        HistoryLineBuffer line;
        FormatHistoryLine(line, NtpToLocalTime(point.qwArrival), point);
        length += (size_t)wsprintfA(buffer + length, "%s\r\n", line);
    }
    return length;
}

void CopyHistory(HWND hwnd)
{
    static char text[(REPLY_HISTORY_SIZE + 1) * (HISTORY_LINE_SIZE + 2) + 1];
    size_t length = WriteHistoryText(text);
    if (!PutTextOnClipboard(hwnd, text, length)) LogError("OpenClipboard", (int)GetLastError());
}

// The program's icons, as its main window shows them (none without one).
void OnCreate(HWND hwnd, HWND hMain)
{
    hFont = MakeFont();
    if (hMain == NULL) return;
    SendMessageA(hwnd, WM_SETICON, ICON_SMALL, SendMessageA(hMain, WM_GETICON, ICON_SMALL, 0));
    SendMessageA(hwnd, WM_SETICON, ICON_BIG, SendMessageA(hMain, WM_GETICON, ICON_BIG, 0));
}

void DropBackBuffer()
{
    if (hBackBuffer != NULL) DeleteObject(hBackBuffer);
    hBackBuffer = NULL;
}

// The doctor's lines as one text, CR LF between them.
void WriteDoctorText(char (&text)[DOCTOR_LINES * (DOCTOR_LINE_SIZE + 2)])
{
    char lines[DOCTOR_LINES][DOCTOR_LINE_SIZE];
    int nLines = doctorSays(lines);
    size_t length = 0;
    text[0] = '\0';
    for (int i = 0; i < nLines; ++i) length += (size_t)wsprintfA(text + length, i == 0 ? "%s" : "\r\n%s", lines[i]);
}

void OnPaint(HWND hwnd)
{
    PAINTSTRUCT ps;
    HDC hdc = BeginPaint(hwnd, &ps);
    RECT rc;
    GetClientRect(hwnd, &rc);
    if (hBackBuffer == NULL || backBufferSize.cx != rc.right || backBufferSize.cy != rc.bottom) {
        DropBackBuffer();
        hBackBuffer = CreateCompatibleBitmap(hdc, rc.right, rc.bottom);
        backBufferSize.cx = rc.right;
        backBufferSize.cy = rc.bottom;
    }
    HDC hdcBack = CreateCompatibleDC(hdc);
    HGDIOBJ oldBitmap = SelectObject(hdcBack, hBackBuffer), oldFont = SelectObject(hdcBack, hFont);
    static char szDoctor[DOCTOR_LINES * (DOCTOR_LINE_SIZE + 2)];
    WriteDoctorText(szDoctor);
    HistoryView view = {&judgedReplies, IgnorableMaxTimeDifference(settings), AcceptableMaxLoopDelay(settings),
                        settings.nIgnorableMaxTimeDifference_ms, settings.nAcceptableMaxLoopDelay_ms, LocalBias(),
                        szDoctor};
    PaintHistory(hdcBack, rc, view, &plot);
    BitBlt(hdc, 0, 0, rc.right, rc.bottom, hdcBack, 0, 0, SRCCOPY);
    SelectObject(hdcBack, oldFont);
    SelectObject(hdcBack, oldBitmap);
    DeleteDC(hdcBack);
    EndPaint(hwnd, &ps);
}

void OnKeyDown(HWND hwnd, WPARAM key)
{
    if (key == 'C' && GetKeyState(VK_CONTROL) < 0) CopyHistory(hwnd);
    if (key == VK_ESCAPE) DestroyWindow(hwnd);
}

void OnGetMinMaxInfo(LPARAM lParam)
{
    MINMAXINFO* info = (MINMAXINFO*)lParam;
    // Narrower, the offset pane's heading would run into its legend.
    info->ptMinTrackSize.x = MulDiv(kWidth_px96 * 3 / 4, nDpi, 96);
    info->ptMinTrackSize.y = MulDiv(kHeight_px96 * 3 / 4, nDpi, 96);
}

void OnDestroy()
{
    DropBackBuffer();
    DeleteObject(hFont);
    hFont = NULL;
    hHistory = NULL;
}

}  // namespace

int (*doctorSays)(char (&lines)[DOCTOR_LINES][DOCTOR_LINE_SIZE]) = DoctorSays;

void OpenHistoryWindow(HINSTANCE hInstance, HWND hMain)
{
    if (hHistory != NULL) {
        ShowWindow(hHistory, SW_RESTORE);
        SetForegroundWindow(hHistory);
        return;
    }
    WNDCLASSA wc;
    memset(&wc, 0, sizeof wc);
    wc.lpfnWndProc = HistoryWindowProc;
    wc.hInstance = hInstance;
    wc.hCursor = LoadCursor(NULL, IDC_ARROW);
    wc.lpszClassName = kHistoryClass;
    RegisterClassA(&wc);  // fails harmlessly from the second window on
    nDpi = SystemDpi();
    hHistory = CreateWindowExA(0, kHistoryClass, "Tamarin Time 履歴", WS_OVERLAPPEDWINDOW, CW_USEDEFAULT,
                               CW_USEDEFAULT, MulDiv(kWidth_px96, nDpi, 96), MulDiv(kHeight_px96, nDpi, 96), NULL,
                               NULL, hInstance, hMain);
    if (hHistory == NULL) {
        LogError("CreateWindowEx", (int)GetLastError());
        return;
    }
    ShowWindow(hHistory, SW_SHOWNORMAL);
    SetForegroundWindow(hHistory);
}

void ShowHistoryUpdate()
{
    if (hHistory != NULL) InvalidateRect(hHistory, NULL, FALSE);
}

void CloseHistoryWindow()
{
    if (hHistory != NULL) DestroyWindow(hHistory);
}


LRESULT CALLBACK HistoryWindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    switch (msg) {
    case WM_CREATE:
        OnCreate(hwnd, (HWND)((const CREATESTRUCTA*)lParam)->lpCreateParams);
        return 0;
    case WM_PAINT:
        OnPaint(hwnd);
        return 0;
    case WM_ERASEBKGND:
        return 1;  // the painting covers every pixel: erasing first would flicker
    case WM_SIZE:
        InvalidateRect(hwnd, NULL, FALSE);
        return 0;
    case WM_KEYDOWN:
        OnKeyDown(hwnd, wParam);
        return 0;
    case WM_CONTEXTMENU:
        TrackCopyMenu(hwnd, hwnd, lParam, IDM_COPY, "コピー(&C)\tCtrl+C");
        return 0;
    case WM_COMMAND:
        if (LOWORD(wParam) == IDM_COPY) CopyHistory(hwnd);
        return 0;
    case WM_GETMINMAXINFO:
        OnGetMinMaxInfo(lParam);
        return 0;
    case WM_DESTROY:
        OnDestroy();
        return 0;
    }
    return DefWindowProcA(hwnd, msg, wParam, lParam);
}
