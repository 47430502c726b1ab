#include <gtest/gtest.h>
#include <windows.h>
#include <stdio.h>
#include <string.h>

#include <string>

#include "app/shell_state.h"
#include "history/history_paint.h"
#include "history/history_plot.h"
#include "history/history_window.h"
#include "history/reply_history.h"
#include "journal/history_keeper.h"
#include "journal/journal_file.h"
#include "journal/journal_record.h"
#include "log/activity_log.h"
#include "base/app_data.h"
#include "resources/resource.h"
#include "sntp/host_calls.h"
#include "support/log_window.h"
#include "support/frozen_clock.h"
#include "support/main_dialog.h"
#include "timebase/clock.h"

namespace {

// The history window, found by its class as any program could.
HWND HistoryWindow()
{
    return FindWindowA("Tamarin Time History", NULL);
}

const NtpTimestamp kArrival = 0xEEC3DE3A80000000ull;  // 2026-12-09 14:03:38.5 UTC

class History : public MainDialog {
protected:
    void SetUp() override
    {
        MainDialog::SetUp();
        CreateMainWindow();
    }

    // The program starts afresh over what an earlier run left in its file,
    // or over the given file; the history window's copy.
    std::string CopyAfterStartOver(const std::string* file = NULL);
};

// The copy of the two replies below.
const std::string kTwoReplies = "\x8E\x9E\x8D\x8F\t\x83\x49\x83\x74\x83\x5A\x83\x62\x83\x67(\x95\x62)\t"
                                "\x92\x78\x89\x84(\x95\x62)\t\x8C\x8B\x89\xCA\r\n" +  // 時刻 オフセット(秒) 遅延(秒) 結果
                                std::string("2026/12/09 23:03:38.500") +
                                "\t+0.500000\t0.000999\t\x8B\x96\x97\x65\x93\xE0\r\n" +
                                "2026/12/09 23:04:38.500" +
                                "\t-3600.000000\t0.000000\t\x8F\x43\x90\xB3\x8E\xB8\x94\x73\r\n";
const HistoryPoint kFirst = {kArrival, 0x0000000080000000ll, 0x00418937, REPLY_WITHIN_TOLERANCE};
const HistoryPoint kSecond = {kArrival + (60ull << 32), -(3600ll << 32), 0, REPLY_NOT_CORRECTED};

// From either menu one window opens, and a second call brings it forward;
// it goes with the main window.
TEST_F(History, EitherMenuOpensOneWindowThatGoesWithTheProgram)
{
    for (HWND hFrom : {hMain, shell.TrayWindow}) {
        SendMessageA(hFrom, WM_COMMAND, IDM_HISTORY, 0);
        HWND hHistory = HistoryWindow();
        ASSERT_NE(hHistory, (HWND)NULL);
        EXPECT_TRUE(IsWindowVisible(hHistory));
        SendMessageA(hFrom, WM_COMMAND, IDM_HISTORY, 0);
        EXPECT_EQ(HistoryWindow(), hHistory);
        EXPECT_EQ(FindWindowExA(NULL, hHistory, "Tamarin Time History", NULL), (HWND)NULL);  // no second one
        if (hFrom == hMain) DestroyWindow(hHistory);
    }
    HWND hHistory = HistoryWindow();
    DestroyWindow(hMain);
    EXPECT_FALSE(IsWindow(hHistory));
    EXPECT_EQ(HistoryWindow(), (HWND)NULL);
}

// Ctrl+C and the context menu's command copy the whole history, in local
// time (the suite runs nine hours east of UTC); C alone does not.
TEST_F(History, CopyPutsTheWholeHistoryOnTheClipboard)
{
    AppendHistory(&judgedReplies, kFirst);
    AppendHistory(&judgedReplies, kSecond);
    SendMessageA(hMain, WM_COMMAND, IDM_HISTORY, 0);
    HWND hHistory = HistoryWindow();
    const struct {
        bool fControl;
        UINT msg;
        WPARAM wParam;
        bool fCopied;
    } rows[] = {{false, WM_KEYDOWN, 'C', false}, {true, WM_KEYDOWN, 'C', true}, {false, WM_COMMAND, IDM_COPY, true}};
    for (const auto& row : rows) {
        PutOnClipboard("before");
        BYTE keys[256] = {};
        keys[VK_CONTROL] = row.fControl ? 0x80 : 0;
        SetKeyboardState(keys);
        SendMessageA(hHistory, row.msg, row.wParam, 0);
        EXPECT_EQ(ClipboardText(), row.fCopied ? kTwoReplies : "before") << row.fControl << row.msg;
    }
    BYTE keys[256] = {};
    SetKeyboardState(keys);
}

std::string RecordBytes(JournalKind nKind, const HistoryPoint& point)
{
    JournalRecord record = {nKind, point.nOutcome, 100, point.qwArrival, point.llOffset, point.qwLoopDelay};
    JournalBytes bytes;
    EncodeJournalRecord(record, bytes);
    return std::string((const char*)bytes, sizeof bytes);
}

std::string HistoryFileText()
{
    char szPath[MAX_PATH];
    AppDataPath(szPath, "history.dat");
    FILE* file = fopen(szPath, "rb");
    std::string text;
    for (int c; file != NULL && (c = fgetc(file)) != EOF;) text += (char)c;
    if (file != NULL) fclose(file);
    return text;
}

std::string KindsKept()
{
    std::string text = HistoryFileText(), kinds;
    JournalRecord record;
    size_t nAt = 0, nUsed;
    while (ScanJournal((const uint8_t*)text.data() + nAt, text.size() - nAt, &record, &nUsed)) {
        nAt += nUsed;
        kinds += "?RSEZW"[record.nKind];
    }
    return kinds;
}

std::string History::CopyAfterStartOver(const std::string* file)
{
    if (IsWindow(hMain)) DestroyWindow(hMain);
    PumpMessages();
    char szPath[MAX_PATH];
    AppDataPath(szPath, "history.dat");
    FILE* out = file != NULL ? fopen(szPath, "wb") : NULL;
    if (out != NULL) fwrite(file->data(), 1, file->size(), out);
    if (out != NULL) fclose(out);
    ResetProgramState();
    CreateMainWindow();
    SendMessageA(hMain, WM_COMMAND, IDM_HISTORY, 0);
    PutOnClipboard("before");
    SendMessageA(HistoryWindow(), WM_COMMAND, IDM_COPY, 0);
    return ClipboardText();
}

// What one run kept, the next shows: the replies, however old, past
// garbage and a torn record; this run's start, sleep, wake (one for either
// notice), reply and end join them. A file of garbage shows none.
TEST_F(History, WhatOneRunKeptTheNextShows)
{
    FreezeClockAt(SYSTEMTIME{2026, 12, 4, 10, 14, 3, 38, 500});  // a day after the first reply
    const HistoryPoint kOld = {kArrival - (95ull * 86400 << 32), 0, 0, REPLY_CORRECTED};
    const HistoryPoint kThird = {kArrival + (120ull << 32), 0x0000000040000000ll, 0x00418937, REPLY_CORRECTED};
    const std::string header = kTwoReplies.substr(0, kTwoReplies.find('\n') + 1);
    const std::string noise(1000, '\x5A');
    EXPECT_EQ(CopyAfterStartOver(&noise), header);
    const std::string torn = RecordBytes(JOURNAL_REPLY, kSecond).substr(0, 20);
    const std::string garbage(65490, 'g');  // after the old reply, the next straddles the reader's 64 KiB chunks
    const std::string file = RecordBytes(JOURNAL_REPLY, kOld) + garbage + RecordBytes(JOURNAL_REPLY, kFirst) + torn +
                             RecordBytes(JOURNAL_REPLY, kSecond);
    const std::string kept = header + "2026/09/05 23:03:38.500\t+0.000000\t0.000000\t\x8F\x43\x90\xB3\r\n" +
                             kTwoReplies.substr(header.size());
    EXPECT_EQ(CopyAfterStartOver(&file), kept);
    for (WPARAM event : {PBT_APMSUSPEND, PBT_APMRESUMESUSPEND, PBT_APMRESUMEAUTOMATIC}) {
        SendMessageA(hMain, WM_POWERBROADCAST, event, 0);
    }
    KeepJudgedReply(kThird);
    DestroyWindow(hMain);
    PumpMessages();
    EXPECT_EQ(KindsKept(), "RRRSZWRE");
    EXPECT_EQ(CopyAfterStartOver(), kept + "2026/12/09 23:05:38.500\t+0.250000\t0.000999\t\x8F\x43\x90\xB3\r\n");
    EXPECT_EQ(KindsKept(), "RRRSZWRES");
    ThawClock();
}

std::string journalCallsMade;

// Whatever the clock reads at a start (today, three months ahead, 2000, past
// 2036's roll-over) and a reply claimed (26 years ahead), only the size
// decides: a day's worth beyond 130,000 records goes, the new file on the
// disk before it replaces the old one, written through (flags 1 | 8).
TEST_F(History, OnlyTheFilesSizeBoundsItAndItsRewriteIsDurable)
{
    const HistoryPoint kAhead = {kArrival + (60ull << 32), 820000000ll << 32, 0, REPLY_NOT_CORRECTED};
    const std::string small = RecordBytes(JOURNAL_REPLY, kFirst) + RecordBytes(JOURNAL_REPLY, kAhead);
    for (WORD wYear : {2026, 2027, 2000, 2036}) {
        FreezeClockAt(SYSTEMTIME{wYear, (WORD)(wYear == 2027 ? 3 : 12), 0, 31, 14, 0, 0, 0});
        EXPECT_EQ((CopyAfterStartOver(&small), KindsKept()), "RRS") << wYear;
    }
    ThawClock();
    std::string big;
    for (int i = 0; i < 131441; ++i) big += RecordBytes(i < 1441 ? JOURNAL_WAKE : JOURNAL_REPLY, kFirst);
    journalCalls = {[](HANDLE h) { return journalCallsMade += "F", realJournalCalls.FlushFileBuffers(h); },
                    [](LPCSTR from, LPCSTR to, DWORD flags) {
                        return journalCallsMade += "M" + std::to_string(flags), realJournalCalls.MoveFileExA(from, to, flags);
                    }};
    CopyAfterStartOver(&big);
    journalCalls = realJournalCalls;
    EXPECT_EQ(journalCallsMade, "FFM9F");  // the run before ends, then the rewrite and the start
    EXPECT_EQ(KindsKept(), std::string(130000, 'R') + "S");
}

// A file that cannot be written costs one line, and the program goes on.
TEST_F(History, AnUnwritableFileCostsOneLine)
{
    DestroyWindow(hMain);
    PumpMessages();
    char szPath[MAX_PATH];
    AppDataPath(szPath, "history.dat");
    DeleteFileA(szPath);
    ASSERT_TRUE(CreateDirectoryA(szPath, NULL));
    ResetProgramState();
    CreateMainWindow();
    KeepJudgedReply(kFirst);
    RemoveDirectoryA(szPath);
    std::string failures;
    for (int i = 0; i < LogLineCount(); ++i) {
        if (strstr(LogLineAt(i), "履歴") != NULL) failures += std::string(LogLineAt(i)) + "\n";
    }
    EXPECT_EQ(failures, "履歴ファイルに書けないため、履歴を残せません (5)\n");
}

// A reply judged while the window is open is drawn: the engine's news, as
// it tells its host, is kept and asks the window to paint again.
TEST_F(History, AReplyIsDrawnWhileTheWindowIsOpen)
{
    SendMessageA(hMain, WM_COMMAND, IDM_HISTORY, 0);
    UpdateWindow(HistoryWindow());
    HostReplyJudged(JudgedReply{{kArrival, 1ll << 28, 1ull << 24, REPLY_WITHIN_TOLERANCE}, "127.0.0.1", {127, 0, 0, 1}});
    EXPECT_EQ(judgedReplies.nCount, 1);
    EXPECT_EQ(KindsKept(), "SR");  // and kept
    EXPECT_TRUE(GetUpdateRect(HistoryWindow(), NULL, FALSE));
}

// Each outcome's mark in its own colour where the plot puts it, and a value
// beyond the scale at the pane's edge.
TEST_F(History, EachOutcomeIsMarkedInItsColour)
{
    static ReplyHistory history;
    const struct {
        int64_t llOffset;
        ReplyOutcome outcome;
        COLORREF colour;
    } rows[] = {{0, REPLY_WITHIN_TOLERANCE, RGB(0, 90, 200)},   {0x00400000, REPLY_CORRECTED, RGB(0, 150, 0)},
                {0x00800000, REPLY_TOO_SLOW, RGB(210, 0, 0)},   {0x00C00000, REPLY_NOT_CORRECTED, RGB(210, 0, 0)},
                {3600ll << 32, REPLY_WITHIN_TOLERANCE, RGB(0, 90, 200)}};
    int i = 0;
    for (const auto& row : rows) {
        AppendHistory(&history, HistoryPoint{kArrival + ((uint64_t)(i++ * 600) << 32), row.llOffset, 0x00400000,
                                             row.outcome});
    }
    HDC hdcScreen = GetDC(NULL), hdc = CreateCompatibleDC(hdcScreen);
    HBITMAP hBitmap = CreateCompatibleBitmap(hdcScreen, 640, 420);
    ReleaseDC(NULL, hdcScreen);
    SelectObject(hdc, hBitmap);
    SelectObject(hdc, GetStockObject(DEFAULT_GUI_FONT));
    const RECT rc = {0, 0, 640, 420};
    static HistoryPlot plot;
    PaintHistory(hdc, rc, HistoryView{&history, 0x33333333, 0x99999999, 200, 600, 0}, &plot);
    ASSERT_EQ(plot.nMarks, 5);
    for (int k = 0; k < 5; ++k) {
        const PlotMark& mark = plot.aMarks[k];
        EXPECT_EQ(GetPixel(hdc, mark.x, mark.yOffset), rows[k].colour) << k;
        EXPECT_EQ(GetPixel(hdc, mark.x, mark.yDelay), rows[k].colour) << k;
    }
    EXPECT_EQ(plot.aMarks[4].nOffsetClip, PLOT_ABOVE);
    DeleteDC(hdc);
    DeleteObject(hBitmap);
}

}  // namespace
