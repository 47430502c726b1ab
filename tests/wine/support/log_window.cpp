#include "support/log_window.h"

#include <string.h>

#include "app/shell_state.h"
#include "history/reply_history.h"
#include "log/activity_log.h"
#include "resources/resource.h"
#include "settings/settings_table.h"
#include "sntp/client.h"
#include "support/test_host.h"

namespace {

const char kClassName[] = "TamarinTimeTestLogWindow";

uint64_t qwFirstLine = 0;  // the log's sequence number when the test's log began

LRESULT CALLBACK TestWindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (OnTestHostMessage(msg, wParam, lParam)) return 0;
    return DefWindowProcA(hwnd, msg, wParam, lParam);
}

void RegisterTestClass()
{
    WNDCLASSA wc = {};
    wc.lpfnWndProc = TestWindowProc;
    wc.hInstance = GetModuleHandleA(NULL);
    wc.lpszClassName = kClassName;
    RegisterClassA(&wc);  // fails harmlessly when a previous test registered it
}

}  // namespace

HWND CreateLogWindow()
{
    RegisterTestClass();
    HWND hwnd = CreateWindowA(kClassName, "log test", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 400, 300, NULL, NULL,
                              GetModuleHandleA(NULL), NULL);
    CreateWindowA("LISTBOX", "", WS_CHILD | WS_VISIBLE | WS_VSCROLL | LBS_NOINTEGRALHEIGHT, 0, 0, 380, 260, hwnd,
                  (HMENU)(INT_PTR)IDC_LOG, GetModuleHandleA(NULL), NULL);
    shell.MainWindow = hwnd;
    StartTestHost(hwnd);
    ForgetLog();
    PumpMessages();
    return hwnd;
}

void DestroyLogWindow()
{
    if (shell.MainWindow != NULL) DestroyWindow(shell.MainWindow);
    shell.MainWindow = NULL;
    SetLogOwner(0, NULL);
    PumpMessages();
}

HWND LogListBox()
{
    return GetDlgItem(shell.MainWindow, IDC_LOG);
}

void ForgetLog()
{
    qwFirstLine = LogSequence();
}

std::vector<std::string> ReadLog()
{
    std::vector<std::string> entries;
    uint64_t nSince = LogSequence() - qwFirstLine;
    int nLines = LogLineCount();
    for (int i = nSince < (uint64_t)nLines ? nLines - (int)nSince : 0; i < nLines; ++i) entries.push_back(LogLineAt(i));
    if (!entries.empty()) entries.push_back("");  // as the view shows it
    return entries;
}

void ResetProgramState()
{
    settings = DefaultSettings();
    StartClient(ClientConfigOf(settings));
    judgedReplies = ReplyHistory();
}

void PumpMessages()
{
    MSG msg;
    while (PeekMessageA(&msg, NULL, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
}

bool WaitForMessage(UINT message, MSG* received, DWORD timeoutMs)
{
    DWORD start = GetTickCount();
    for (;;) {
        MSG msg;
        while (PeekMessageA(&msg, NULL, 0, 0, PM_REMOVE)) {
            if (msg.message == message && msg.hwnd == shell.MainWindow) {
                *received = msg;
                return true;
            }
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
        DWORD elapsed = GetTickCount() - start;
        if (elapsed >= timeoutMs) return false;
        MsgWaitForMultipleObjects(0, NULL, FALSE, timeoutMs - elapsed, QS_ALLINPUT);
    }
}
