#include "log/activity_log.h"

#include "state/program_state.h"
#include "log/log_format.h"

namespace {

const int kMaxTextLines = 500;
const int kTrimmedLines = 450;  // trimmed in one batch, so once every 450 lines

HANDLE hLogFile = INVALID_HANDLE_VALUE;

// Lines that other threads are handing over, one a slot: a message is
// believed only when its slot holds its very text, which it then empties.
const int kHandOverSlots = 8;
PVOID volatile apHandedOver[kHandOverSlots];

// Sends the line to hMain's thread through a free slot, and empties the slot
// again should hMain be gone before taking it. With every slot taken (eight
// threads logging at once) the line is dropped rather than waited for.
void HandOverLine(HWND hMain, const char* text)
{
    for (int i = 0; i < kHandOverSlots; ++i) {
        if (InterlockedCompareExchangePointer(&apHandedOver[i], (PVOID)text, NULL) != NULL) continue;
        SendMessageA(hMain, WM_APP_LOGLINE, (WPARAM)i, (LPARAM)text);
        InterlockedCompareExchangePointer(&apHandedOver[i], NULL, (PVOID)text);
        return;
    }
}

// Appends on the list box's own thread: the line, then the empty entry that
// keeps the newest line in view above the selection.
void AppendLine(const char* text)
{
    HWND hList = GetDlgItem(shell.MainWindow, IDC_LOG);
    if (hList == NULL) return;

    int n = (int)SendMessageA(hList, LB_GETCOUNT, 0, 0) - 1;
    SendMessageA(hList, WM_SETREDRAW, FALSE, 0);
    if (n >= kMaxTextLines) {
        for (int i = 0; i < kTrimmedLines; ++i) SendMessageA(hList, LB_DELETESTRING, 0, 0);
        n = (int)SendMessageA(hList, LB_GETCOUNT, 0, 0) - 1;
    }
    if (n >= 0) SendMessageA(hList, LB_DELETESTRING, n, 0);
    SendMessageA(hList, LB_ADDSTRING, 0, (LPARAM)text);
    SendMessageA(hList, LB_ADDSTRING, 0, (LPARAM)"");
    SendMessageA(hList, LB_SETCURSEL, SendMessageA(hList, LB_GETCOUNT, 0, 0) - 1, 0);
    SendMessageA(hList, WM_SETREDRAW, TRUE, 0);
    InvalidateRect(hList, NULL, TRUE);
}

}  // namespace

void LogLine(const char* text)
{
    HWND hMain = shell.MainWindow;  // read once: the window's thread clears it at the end
    DWORD owner = GetWindowThreadProcessId(hMain, NULL);
    if (owner == 0) return;
    if (owner == GetCurrentThreadId()) {
        AppendLine(text);
    } else {
        // A synchronous send keeps the text alive until the owner has appended
        // it, and the owner appends it between two of its own lines.
        HandOverLine(hMain, text);
    }
}

void LogError(const char* name, int code)
{
    LogLineBuffer line;
    FormatErrorLine(line, name, code);
    LogLine(line);
}

void LogSeconds(const char* prefix, NtpTimestamp value, const char* suffix)
{
    LogLineBuffer line;
    FormatSecondsLine(line, prefix, value, suffix);
    LogLine(line);
}

void OpenLogFile(const char* name)
{
    (void)name;  // the mirror is not written; the log lives in the list box only
    CloseLogFile();
}

void CloseLogFile()
{
    if (hLogFile != INVALID_HANDLE_VALUE) {
        CloseHandle(hLogFile);
        hLogFile = INVALID_HANDLE_VALUE;
    }
}

void OnLogLineMessage(WPARAM wParam, LPARAM lParam)
{
    if (wParam >= (WPARAM)kHandOverSlots || lParam == 0) return;
    if (InterlockedCompareExchangePointer(&apHandedOver[wParam], NULL, (PVOID)lParam) != (PVOID)lParam) return;
    AppendLine((const char*)lParam);
}
