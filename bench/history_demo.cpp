// The history window put to work outside the program: "time" times its
// opening over a made history of 90 days at a one-minute poll, its redrawing
// and the appending of a record; "doctor" leaves it open over 30 made days;
// "exchanges" fills it with real replies from two servers, the clock held,
// and leaves it open.
#include <windows.h>
#include <winsock.h>
#include <commctrl.h>
#include <stdio.h>
#include <stdlib.h>

#include <vector>

#include "app/main_window.h"
#include "base/app_data.h"
#include "journal/history_keeper.h"
#include "tests/core/made_history.h"
#include "history/history_window.h"
#include "history/reply_history.h"
#include "resources/resource.h"
#include "settings/settings_table.h"
#include "sntp/client.h"
#include "sntp/network_probe.h"
#include "timebase/clock.h"

namespace {

// The earlier runs' replies, into the record the window shows.
void Recall(const HistoryPoint& point)
{
    AppendHistory(&judgedReplies, point);
}

// The history window, found by its class as any program could.
HWND HistoryWindow()
{
    return FindWindowA("Tamarin Time History", NULL);
}

const int kRedraws = 20;
const int kReplyWait_ms = 2000;   // a reply held back 0.7 s still comes in time
const int kOnlineWait_ms = 5000;
const UINT_PTR kTickTimer = 1;    // the main window's one-second tick
const uint64_t kPollStep_ms = 61 * 1000;  // just over the 1-minute poll interval
const DWORD kPace_ms = 150;  // the arrivals are real times: 300 exchanges spread over some 45 s

// --- the held clocks -------------------------------------------------------

uint64_t qwHeldTick_ms = 0;

ULONGLONG WINAPI ReadHeldTick()
{
    return qwHeldTick_ms;
}

int64_t FileTimeValue(const FILETIME& ft)
{
    return (int64_t)(((uint64_t)ft.dwHighDateTime << 32) | ft.dwLowDateTime);
}

// Never sets anything: a time within a second of now passes as set, so that
// small corrections show as made; any other is refused as a user's would be.
BOOL WINAPI SetNoSystemTime(const SYSTEMTIME* utc)
{
    const int64_t kSecond = 10000000;  // in FILETIME's 100 ns
    FILETIME requested, now;
    GetSystemTimeAsFileTime(&now);
    if (SystemTimeToFileTime(utc, &requested)) {
        int64_t llDifference = FileTimeValue(requested) - FileTimeValue(now);
        if (llDifference > -kSecond && llDifference < kSecond) return TRUE;
    }
    SetLastError(ERROR_PRIVILEGE_NOT_HELD);
    return FALSE;
}

// The machine's route table has no say in a loopback demonstration.
NetworkState NoProbe(uint32_t)
{
    return NETWORK_UNKNOWN;
}

// The system clock never set, the monotonic one moved by the demo alone.
void HoldClocks()
{
    clockCalls.SetSystemTime = SetNoSystemTime;
    qwHeldTick_ms = GetTickCount64();
    clockCalls.GetTickCount64 = ReadHeldTick;
    networkProbe = NoProbe;
}

// --- messages --------------------------------------------------------------

void PumpMessages()
{
    MSG msg;
    while (PeekMessageA(&msg, NULL, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
}

// Pumps until done() or the time is up; whether done() came.
bool PumpUntil(bool (*done)(uint64_t), uint64_t qwArgument, DWORD dwTimeout_ms)
{
    ULONGLONG qwEnd = GetTickCount64() + dwTimeout_ms;
    for (;;) {
        PumpMessages();
        if (done(qwArgument)) return true;
        if (GetTickCount64() >= qwEnd) return false;
        MsgWaitForMultipleObjects(0, NULL, FALSE, 10, QS_ALLINPUT);
    }
}

bool IsOnline(uint64_t)
{
    return ReportClient().nStatus == CLIENT_ONLINE;
}

bool HasGrownPast(uint64_t qwBefore)
{
    return judgedReplies.qwAppended > qwBefore;
}

// --- "time" and "doctor" ---------------------------------------------------

const int kAppends = 1000;

// A made history written as the program's file, in a folder of the demo's
// own so that no run of the program finds it.
bool WriteMadeHistory(const MadeHistoryPlan& plan, int* pnRecords)
{
    static char szFolder[MAX_PATH];
    DWORD cch = GetTempPathA(MAX_PATH - 32, szFolder);
    if (cch == 0 || cch >= MAX_PATH - 32) return false;
    lstrcatA(szFolder, "tamarin-history-demo");
    SetAppDataFolder(szFolder);
    char szPath[MAX_PATH];
    if (!AppDataPath(szPath, "history.dat")) return false;
    FILE* file = fopen(szPath, "wb");
    if (file == NULL) return false;
    std::vector<JournalRecord> records = MakeHistory(plan);
    for (const JournalRecord& record : records) {
        JournalBytes bytes;
        EncodeJournalRecord(record, bytes);
        fwrite(bytes, sizeof bytes, 1, file);
    }
    *pnRecords = (int)records.size();
    return fclose(file) == 0;
}

LARGE_INTEGER Counter()
{
    LARGE_INTEGER counter;
    QueryPerformanceCounter(&counter);
    return counter;
}

double MsSince(LARGE_INTEGER start)
{
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    return (double)(Counter().QuadPart - start.QuadPart) * 1000.0 / (double)frequency.QuadPart;
}

int CompareDoubles(const void* a, const void* b)
{
    double x = *(const double*)a, y = *(const double*)b;
    return x < y ? -1 : x > y ? 1 : 0;
}

// Each redraw repaints the whole window at once, as a new reply does.
void TimeRedraws(HWND hwnd, double (&adRedraw_ms)[kRedraws])
{
    for (int i = 0; i < kRedraws; ++i) {
        PumpMessages();  // nothing else pending is counted in
        LARGE_INTEGER start = Counter();
        RedrawWindow(hwnd, NULL, NULL, RDW_INVALIDATE | RDW_UPDATENOW);
        adRedraw_ms[i] = MsSince(start);
    }
    qsort(adRedraw_ms, kRedraws, sizeof adRedraw_ms[0], CompareDoubles);
}

// Opening: the file read, the doctor's findings and the first paint.
int RunTiming(HINSTANCE hInstance)
{
    int nRecords = 0;
    if (!WriteMadeHistory(MadeHistoryPlan{90, 1, -2.1, 0.2, 0.002, 0, START_AS_LEFT, 0}, &nRecords)) return 1;
    LARGE_INTEGER start = Counter();
    StartKeepingHistory(Recall);
    OpenHistoryWindow(hInstance, NULL);
    HWND hwnd = HistoryWindow();
    if (hwnd == NULL) return 1;
    UpdateWindow(hwnd);
    double dOpen_ms = MsSince(start);
    double adRedraw_ms[kRedraws];
    TimeRedraws(hwnd, adRedraw_ms);
    double dMedian_ms = (adRedraw_ms[kRedraws / 2 - 1] + adRedraw_ms[kRedraws / 2]) / 2;
    const ReplyHistory& replies = judgedReplies;
    HistoryPoint point = HistoryAt(replies, replies.nCount - 1);
    start = Counter();
    for (int i = 0; i < kAppends; ++i) KeepJudgedReply(point);
    double dAppend_ms = MsSince(start) / kAppends;
    StopKeepingHistory();
    printf("records=%d open_ms=%.1f redraw_median_ms=%.1f redraw_max_ms=%.1f append_ms=%.4f\n", nRecords, dOpen_ms,
           dMedian_ms, adRedraw_ms[kRedraws - 1], dAppend_ms);
    fflush(stdout);
    DestroyWindow(hwnd);
    return 0;
}

// --- "exchanges" -----------------------------------------------------------

// One poll on the held clock: a minute and a second later, the tick.
void Exchange(HWND hMain)
{
    uint64_t qwBefore = judgedReplies.qwAppended;
    qwHeldTick_ms += kPollStep_ms;
    SendMessageA(hMain, WM_TIMER, kTickTimer, 0);
    PumpUntil(HasGrownPast, qwBefore, kReplyWait_ms);
    Sleep(kPace_ms);
}

// Online with the server, n polls, offline again; the replies recorded.
int RunSession(HWND hMain, const char* szServer, int n)
{
    uint64_t qwBefore = judgedReplies.qwAppended;
    SetDlgItemTextA(hMain, IDC_SERVERNAME, szServer);
    SendMessageA(hMain, WM_COMMAND, MAKEWPARAM(IDC_SERVERNAME, CBN_EDITCHANGE), 0);  // as typing tells it
    SendMessageA(hMain, WM_COMMAND, IDM_ONLINE, 0);
    if (PumpUntil(IsOnline, 0, kOnlineWait_ms)) {
        for (int i = 0; i < n; ++i) Exchange(hMain);
        SendMessageA(hMain, WM_COMMAND, IDM_ONLINE, 0);
    }
    if (ReportClient().nFace != FACE_OFFLINE) ToggleOnline();  // a lookup or a retry still pending: stopped
    PumpMessages();
    return (int)(judgedReplies.qwAppended - qwBefore);
}

// The settings that the run needs, whatever the registry said: polls a
// minute apart, and no exit after the first reply.
HWND CreateMainWindow(HINSTANCE hInstance)
{
    INITCOMMONCONTROLSEX icc = {sizeof icc, ICC_UPDOWN_CLASS};
    InitCommonControlsEx(&icc);
    HWND hMain = CreateDialogParamA(hInstance, MAKEINTRESOURCEA(IDD_MAIN), NULL, MainDialogProc, 0);
    if (hMain == NULL) return NULL;
    KillTimer(hMain, kTickTimer);  // the held clock's ticks are the only ones
    settings.nCheckTimer_minute = 1;
    settings.fStayAfterAdjustment = 1;
    ConfigureClient(ClientConfigOf(settings));
    PumpMessages();
    return hMain;
}

// How the recorded replies ended, so that a run shows it met every kind.
void PrintOutcomes()
{
    int anCount[REPLY_TOO_SLOW + 1] = {};
    const ReplyHistory& replies = judgedReplies;
    for (int i = 0; i < replies.nCount; ++i) ++anCount[HistoryAt(replies, i).nOutcome];
    printf("within tolerance %d, corrected %d, not corrected %d, too slow %d\n", anCount[REPLY_WITHIN_TOLERANCE],
           anCount[REPLY_CORRECTED], anCount[REPLY_NOT_CORRECTED], anCount[REPLY_TOO_SLOW]);
}

void ShowHistory(HINSTANCE hInstance, HWND hMain)
{
    OpenHistoryWindow(hInstance, hMain);
    HWND hwnd = HistoryWindow();
    if (hwnd == NULL) return;
    HDC hdc = GetDC(NULL);
    int nDpi = GetDeviceCaps(hdc, LOGPIXELSY);
    ReleaseDC(NULL, hdc);
    SetWindowPos(hwnd, NULL, 0, 0, MulDiv(800, nDpi, 96), MulDiv(500, nDpi, 96), SWP_NOMOVE | SWP_NOZORDER);
    UpdateWindow(hwnd);
}

void RunUntilEnded()
{
    MSG msg;
    while (GetMessageA(&msg, NULL, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
}

int RunExchanges(HINSTANCE hInstance, char** argv)
{
    HoldClocks();  // first of all: from here on nothing can set the clock
    WSADATA wsa;
    if (WSAStartup(MAKEWORD(1, 1), &wsa) != 0) return 1;
    HWND hMain = CreateMainWindow(hInstance);
    if (hMain == NULL) return 1;
    int nA = RunSession(hMain, argv[2], atoi(argv[3]));
    int nB = RunSession(hMain, argv[4], atoi(argv[5]));
    printf("replies recorded: %d from %s, %d from %s\n", nA, argv[2], nB, argv[4]);
    PrintOutcomes();
    fflush(stdout);
    ShowHistory(hInstance, hMain);
    RunUntilEnded();
    WSACleanup();
    return 0;
}

// 30 days of a PC whose clock loses 2.1 s a day and stops while it is off
// each night; the window left open with what the doctor finds.
int RunDoctor(HINSTANCE hInstance)
{
    int nRecords = 0;
    if (!WriteMadeHistory(MadeHistoryPlan{30, 10, -2.1, 0.2, 0.005, 9, START_STOPPED, 0}, &nRecords)) return 1;
    StartKeepingHistory(Recall);
    ShowHistory(hInstance, NULL);
    RunUntilEnded();
    return 0;
}

int Usage()
{
    printf("usage: history_demo time | doctor | exchanges SERVER_A N_A SERVER_B N_B\n");
    return 2;
}

}  // namespace

int WINAPI WinMain(HINSTANCE hInstance, HINSTANCE, LPSTR, int)
{
    if (__argc == 2 && lstrcmpA(__argv[1], "time") == 0) return RunTiming(hInstance);
    if (__argc == 2 && lstrcmpA(__argv[1], "doctor") == 0) return RunDoctor(hInstance);
    if (__argc == 6 && lstrcmpA(__argv[1], "exchanges") == 0) return RunExchanges(hInstance, __argv);
    return Usage();
}
