#include "app/log_view.h"

#include "app/shell_state.h"
#include "base/clipboard.h"
#include "log/activity_log.h"
#include "resources/resource.h"

namespace {

const UINT kRefresh_ms = 100;

uint64_t qwShown = 0;  // the log's sequence number that the list box shows
bool fRefreshDue = false;

void OnLogChanged()
{
    if (fRefreshDue) return;
    fRefreshDue = SetTimer(shell.MainWindow, LOG_VIEW_TIMER, kRefresh_ms, NULL) != 0;
}

// Drops the lines the log no longer keeps from the top and the empty entry
// from the bottom; the index of the first kept line that is yet to be added.
int KeepShownLines(HWND hList, uint64_t nNew)
{
    int nLines = LogLineCount();
    if (nNew >= (uint64_t)nLines) {
        SendMessageA(hList, LB_RESETCONTENT, 0, 0);
        return 0;
    }
    int nShown = (int)SendMessageA(hList, LB_GETCOUNT, 0, 0) - 1;
    if (nShown >= 0) SendMessageA(hList, LB_DELETESTRING, nShown, 0);
    for (int i = nShown - (nLines - (int)nNew); i > 0; --i) SendMessageA(hList, LB_DELETESTRING, 0, 0);
    return nLines - (int)nNew;
}

void Refresh(HWND hList)
{
    uint64_t qwNow = LogSequence();
    if (qwNow == qwShown || hList == NULL) return;
    SendMessageA(hList, WM_SETREDRAW, FALSE, 0);
    for (int i = KeepShownLines(hList, qwNow - qwShown); i < LogLineCount(); ++i) {
        SendMessageA(hList, LB_ADDSTRING, 0, (LPARAM)LogLineAt(i));
    }
    SendMessageA(hList, LB_ADDSTRING, 0, (LPARAM)"");
    SendMessageA(hList, LB_SETCURSEL, SendMessageA(hList, LB_GETCOUNT, 0, 0) - 1, 0);
    SendMessageA(hList, WM_SETREDRAW, TRUE, 0);
    InvalidateRect(hList, NULL, TRUE);
    qwShown = qwNow;
}

}  // namespace

void StartLogView(HWND hMain)
{
    SendMessageA(GetDlgItem(hMain, IDC_LOG), LB_RESETCONTENT, 0, 0);
    qwShown = LogSequence();  // a new window's log begins empty
    fRefreshDue = false;
    SetLogView(OnLogChanged);
}

void OnLogViewTimer(HWND hMain)
{
    KillTimer(hMain, LOG_VIEW_TIMER);
    fRefreshDue = false;
    Refresh(GetDlgItem(hMain, IDC_LOG));
}

void OnLogContextMenu(HWND hMain, HWND hClicked, LPARAM lParam)
{
    HWND hList = GetDlgItem(hMain, IDC_LOG);
    if (hClicked == hList) TrackCopyMenu(hMain, hList, lParam, IDM_COPY, "コピー(&C)");
}

void CopyLog(HWND hMain)
{
    static char text[LOG_RING_TEXT_SIZE];  // 50 KB: kept off the stack
    size_t length = LogText(text);
    if (!PutTextOnClipboard(hMain, text, length)) LogError("OpenClipboard", (int)GetLastError());
}

void StopLogView(HWND hMain)
{
    SetLogView(NULL);
    KillTimer(hMain, LOG_VIEW_TIMER);
    fRefreshDue = false;
}
