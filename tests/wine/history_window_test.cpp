#include <gtest/gtest.h>
#include <windows.h>
#include <stdio.h>
#include <string.h>

#include <string>

#include "app/shell_state.h"
#include "history/history_paint.h"
#include "history/history_plot.h"
#include "history/history_window.h"
#include "resources/resource.h"
#include "sntp/client.h"
#include "sntp/client_state.h"
#include "sntp/packet.h"
#include "support/log_window.h"
#include "support/loopback.h"
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
};

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
    AppendHistory(&clientFindings.history, HistoryPoint{kArrival, 0x0000000080000000ll, 0x00418937, REPLY_WITHIN_TOLERANCE});
    AppendHistory(&clientFindings.history, HistoryPoint{kArrival + (60ull << 32), -(3600ll << 32), 0, REPLY_NOT_CORRECTED});
    const std::string whole = "\x8E\x9E\x8D\x8F\t\x83\x49\x83\x74\x83\x5A\x83\x62\x83\x67(\x95\x62)\t"
                              "\x92\x78\x89\x84(\x95\x62)\t\x8C\x8B\x89\xCA\r\n" +  // 時刻 オフセット(秒) 遅延(秒) 結果
                              std::string("2026/12/09 23:03:38.500") + "\t+0.500000\t0.000999\t\x8B\x96\x97\x65\x93\xE0\r\n" +
                              "2026/12/09 23:04:38.500" +
                              "\t-3600.000000\t0.000000\t\x8F\x43\x90\xB3\x8E\xB8\x94\x73\r\n";
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
        EXPECT_EQ(ClipboardText(), row.fCopied ? whole : "before") << row.fControl << row.msg;
    }
    BYTE keys[256] = {};
    SetKeyboardState(keys);
}

// A reply judged while the window is open is drawn: the client's read asks
// the window to paint again.
TEST_F(History, AReplyIsDrawnWhileTheWindowIsOpen)
{
    SendMessageA(hMain, WM_COMMAND, IDM_HISTORY, 0);
    UpdateWindow(HistoryWindow());
    sockaddr_in saLocal, saPeer;
    SOCKET sockLocal = BoundLoopbackSocket(&saLocal), sockPeer = BoundLoopbackSocket(&saPeer);
    clientLink.nStatus = CLIENT_ONLINE;
    clientLink.saServer = saPeer;
    clientLink.sockClient = sockLocal;
    clientPoll.fAwaitingReply = 1;
    clientPoll.qwRequestTime = NtpNow();
    clientPoll.qwRequestCookie = 0x0123456789ABCDEFull;
    NtpPacket reply = {};
    reply.bLiVnMode = 0x24;
    reply.bStratum = 2;
    reply.qwOriginateTime = NtpToNetwork(clientPoll.qwRequestCookie);
    reply.qwReceiveTime = reply.qwTransmitTime = reply.qwReferenceTime = NtpToNetwork(clientPoll.qwRequestTime);
    sendto(sockPeer, (const char*)&reply, sizeof reply, 0, (sockaddr*)&saLocal, sizeof saLocal);
    fd_set readable;
    FD_ZERO(&readable);
    FD_SET(sockLocal, &readable);
    timeval wait = {5, 0};
    ASSERT_EQ(select(0, &readable, NULL, NULL, &wait), 1);
    OnClientRead(sockLocal, FD_READ);
    EXPECT_EQ(clientFindings.history.nCount, 1);
    EXPECT_TRUE(GetUpdateRect(HistoryWindow(), NULL, FALSE));
    clientLink.sockClient = INVALID_SOCKET;
    clientLink.nStatus = CLIENT_OFFLINE;
    closesocket(sockLocal);
    closesocket(sockPeer);
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
