#include <gtest/gtest.h>
#include <windows.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <string>
#include <vector>

#include "app/shell_state.h"
#include "app/tray.h"
#include "resources/resource.h"
#include "settings/settings_table.h"
#include "sntp/client.h"
#include "sntp/schedule.h"
#include "support/frozen_clock.h"
#include "support/log_window.h"
#include "support/main_dialog.h"
#include "support/test_host.h"
#include "timebase/ntp_time.h"

namespace {

// What the tray asked of the shell: the message and the icon of each call,
// and the flags and tip of the last.
std::vector<DWORD> notifications;
std::vector<HICON> icons;
NOTIFYICONDATAA lastRecord;

// The shell refuses so many NIM_ADD calls first, as at logon.
int nAddsRefused = 0;

BOOL WINAPI RecordNotifyIcon(DWORD dwMessage, PNOTIFYICONDATAA nid)
{
    notifications.push_back(dwMessage);
    icons.push_back(nid->hIcon);
    lastRecord = *nid;
    return dwMessage != NIM_ADD || nAddsRefused-- <= 0;
}

// A client online or offline, as the tray sees it.
void PlayFace(ClientStatus status)
{
    played.nStatus = status;
    played.nFace = status == CLIENT_ONLINE ? FACE_ONLINE : FACE_OFFLINE;
    reportClient = PlayedReport;
}

class Tray : public MainDialog {
protected:
    void SetUp() override
    {
        MainDialog::SetUp();
        trayNotifyIcon = RecordNotifyIcon;
        HoldMonotonicClock();
        qwMonotonic_ms = 1000;
        CreateMainWindow();
    }

    void TearDown() override
    {
        MainDialog::TearDown();
        reportClient = ReportClient;
        played = ClientReport();
        ReleaseMonotonicClock();
        trayNotifyIcon = Shell_NotifyIconA;
    }
};

TEST_F(Tray, MenuItemsCarryTheirOwnCommands)
{
    const struct {
        UINT id;
        const char* text;
    } rows[] = {{IDM_TIMEZONE, "タイムゾーンの設定(&Z)..."}, {IDM_SETTINGS, "設定(&S)..."},
                {IDM_HISTORY, "履歴(&H)..."}, {0, ""},
                {IDM_ONLINE, "オンライン(&O)"}, {0, ""}, {IDM_EXIT, "終了(&X)"}};
    HMENU hMenu = MenuOpenedBy(WM_RBUTTONDOWN);
    ASSERT_EQ(GetMenuItemCount(hMenu), 7);
    for (int i = 0; i < 7; ++i) {
        char text[64] = "";
        GetMenuStringA(hMenu, i, text, sizeof text, MF_BYPOSITION);
        EXPECT_EQ(GetMenuItemID(hMenu, i), rows[i].id) << i;
        EXPECT_STREQ(text, rows[i].text) << i;
    }
}

TEST_F(Tray, IconFollowsTheStateThroughAShellRestartAndGoesAtTheEnd)
{
    PlayFace(CLIENT_ONLINE);
    ShowTrayOnlineState(true);
    PlayFace(CLIENT_OFFLINE);
    ShowTrayOnlineState(false);
    ASSERT_GE(icons.size(), 2u);
    const HICON hOnline = icons[icons.size() - 2], hOffline = icons.back();
    EXPECT_NE(hOnline, hOffline);
    for (int32_t fOnline : {1, 0}) {
        PlayFace(fOnline ? CLIENT_ONLINE : CLIENT_OFFLINE);
        SendMessageA(shell.TrayWindow, RegisterWindowMessageA("TaskbarCreated"), 0, 0);
        EXPECT_EQ(notifications.back(), (DWORD)NIM_ADD);
        EXPECT_EQ(icons.back(), fOnline ? hOnline : hOffline);
    }
    SendMessageA(shell.TrayWindow, WM_COMMAND, IDM_EXIT, 0);  // 終了 in the tray's menu
    PumpMessages();
    EXPECT_FALSE(IsWindow(hMain));
    EXPECT_EQ(notifications.back(), (DWORD)NIM_DELETE);  // the icon goes with the program
}

// The local time of an NTP timestamp as the tip shows it, by another road
// than the tray's.
std::string LocalMinute(NtpTimestamp t)
{
    uint64_t qwTicks = ((t >> 32) + 9435484800ull) * 10000000ull;  // 1601 to 1900 is 9435484800 s
    FILETIME utc = {(DWORD)qwTicks, (DWORD)(qwTicks >> 32)}, local;
    SYSTEMTIME st;
    FileTimeToLocalFileTime(&utc, &local);
    FileTimeToSystemTime(&local, &st);
    char text[32];
    snprintf(text, sizeof text, "%02u/%02u %02u:%02u", st.wMonth, st.wDay, st.wHour, st.wMinute);
    return text;
}

// The icon and the whole tip through a day of the client: each row sets the
// state, moves the monotonic clock (ms) and shows it in its way.
TEST_F(Tray, IconAndTipTellWhenTheClockWasLastFoundRight)
{
    const NtpTimestamp qwJudged = 0xEEC3DE3A80000000ull;  // 2026-12-09 14:03:38.5 UTC
    const std::string synced = "\x8D\xC5\x8F\x49\x93\xAF\x8A\xFA " + LocalMinute(qwJudged);  // 最終同期
    const std::string warned = "\x97\x76\x8A\x6D\x94\x46 " + LocalMinute(qwJudged) + " \x82\xA9\x82\xE7";  // 要確認 … から
    const std::string unsynced = "\x96\xA2\x93\xAF\x8A\xFA";                                                   // 未同期
    enum Look { OFFLINE, ONLINE, WARNING };
    auto taskbarCreated = [] { SendMessageA(shell.TrayWindow, RegisterWindowMessageA("TaskbarCreated"), 0, 0); };
    const struct {
        ClientStatus status;
        int32_t fSynchronized;
        int64_t llOffset;
        uint64_t judged_ms;  // when the last reply was judged (0: none)
        uint64_t now_ms;
        int32_t interval_minute;
        void (*show)();
        Look look;
        std::string second;
    } rows[] = {
        {CLIENT_ONLINE, 0, 0, 0, 1000, 10, [] { ShowTrayOnlineState(true); }, ONLINE, unsynced},
        {CLIENT_ONLINE, 1, 0x0000000003333333ll, 1000, 1000, 10, ShowTrayState, ONLINE, synced + " +0.012\x95\x62"},
        {CLIENT_ONLINE, 1, 0x0000000003333333ll, 1000, 3601000, 10, ShowTrayState, ONLINE, synced + " +0.012\x95\x62"},
        {CLIENT_ONLINE, 1, 0x0000000003333333ll, 1000, 3601001, 10, [] { SendMessageA(shell.MainWindow, WM_TIMER, 1, 0); },
         WARNING, warned},  // an hour unchecked: seen on the main window's tick
        {CLIENT_ONLINE, 1, 0x0000000003333333ll, 1000, 3601001, 30, ShowTrayState, ONLINE, synced + " +0.012\x95\x62"},
        {CLIENT_ONLINE, 1, 0x0000000003333333ll, 1000, 5401001, 30, ShowTrayState, WARNING, warned},  // three intervals
        {CLIENT_ONLINE, 0, -0x0000000180000000ll, 5401001, 5401001, 30, ShowTrayState, WARNING, warned},  // refused
        {CLIENT_ONLINE, 0, -0x0000000180000000ll, 5401001, 5401001, 30, taskbarCreated, WARNING, warned},
        {CLIENT_ONLINE, 1, -0x0000000180000000ll, 5402000, 5402000, 30, ShowTrayState, ONLINE, synced + " -1.500\x95\x62"},
        {CLIENT_OFFLINE, 1, 0, 5402000, 9000000, 30, [] { ShowTrayOnlineState(false); }, OFFLINE,
         "\x83\x49\x83\x74\x83\x89\x83\x43\x83\x93"},  // オフライン
    };
    HICON hLooks[3] = {};
    for (const auto& row : rows) {
        PlayFace(row.status);
        played.reference.fSynchronized = row.fSynchronized;
        played.llLastOffset = row.llOffset;
        played.qwLastJudged = row.judged_ms != 0 ? qwJudged : 0;
        played.qwLastJudged_ms = row.judged_ms;
        played.nInterval_sec = (uint32_t)row.interval_minute * 60;
        played.qwUncheckedLimit_ms = UncheckedLimit_ms(played.nInterval_sec);
        qwMonotonic_ms = row.now_ms;
        row.show();
        const std::string tip = "Tamarin Time\n" + row.second;
        EXPECT_EQ(std::string(lastRecord.szTip), tip) << row.now_ms;
        EXPECT_EQ(lastRecord.uFlags, (UINT)(NIF_ICON | NIF_TIP | (lastRecord.uCallbackMessage != 0 ? NIF_MESSAGE : 0)));
        if (hLooks[row.look] == NULL) hLooks[row.look] = lastRecord.hIcon;
        EXPECT_EQ(lastRecord.hIcon, hLooks[row.look]) << row.now_ms;
    }
    EXPECT_TRUE(hLooks[OFFLINE] != hLooks[ONLINE] && hLooks[ONLINE] != hLooks[WARNING] &&
                hLooks[WARNING] != hLooks[OFFLINE]);
    settings.fActAsSNTPServer = 1;  // wanted, and not running here
    ShowTrayState();
    EXPECT_EQ(std::string(lastRecord.szTip), "Tamarin Time\nオフライン\nSNTP停止");
    settings.fStayAfterAdjustment = 0;  // a one-shot run: server mode is not wanted
    ShowTrayState();
    EXPECT_EQ(std::string(lastRecord.szTip), "Tamarin Time\nオフライン");
}

// Every mouse message the icon can bring: a press of either button opens
// the menu, a double click of either brings the window back, and the rest
// do nothing.
TEST_F(Tray, EachMouseMessageOfTheIconDoesWhatItMust)
{
    const HMENU hTrayMenu = MenuOpenedBy(WM_RBUTTONDOWN);
    ASSERT_NE(hTrayMenu, (HMENU)NULL);
    const struct {
        UINT mouse;
        bool menu;
        bool restore;
    } rows[] = {
        {WM_LBUTTONDOWN, true, false},   {WM_RBUTTONDOWN, true, false},   {WM_LBUTTONDBLCLK, false, true},
        {WM_RBUTTONDBLCLK, false, true}, {WM_LBUTTONUP, false, false},    {WM_RBUTTONUP, false, false},
        {WM_MOUSEMOVE, false, false},    {WM_MBUTTONDOWN, false, false},  {WM_CONTEXTMENU, false, false},
    };
    for (const auto& row : rows) {
        ShowWindow(hMain, SW_HIDE);
        EXPECT_EQ(MenuOpenedBy(row.mouse), row.menu ? hTrayMenu : (HMENU)NULL) << row.mouse;
        EXPECT_EQ(IsWindowVisible(hMain) != FALSE, row.restore) << row.mouse;
        PumpMessages();
    }
}

TEST_F(Tray, IconRefusedAtLogonIsAskedForAgainUntilTheShellTakesIt)
{
    DestroyWindow(hMain);
    nAddsRefused = 2;
    notifications.clear();
    CreateMainWindow();
    PlayFace(CLIENT_ONLINE);  // gone online meanwhile: the icon it adds shows so
    ShowTrayOnlineState(true);
    const HICON hOnline = icons.back();
    for (int i = 0; i < 4; ++i) SendMessageA(shell.TrayWindow, WM_TIMER, 1, 0);
    EXPECT_EQ(notifications, (std::vector<DWORD>{NIM_ADD, NIM_MODIFY, NIM_ADD, NIM_ADD}));
    EXPECT_EQ(icons.back(), hOnline);
}

bool HostLookupFailed(const std::string& line)
{
    return line.rfind("ホスト確認 エラー (", 0) == 0;
}

// Trying is not offline: a name that never resolves shows in the tip what
// the client does and since when, the icon warns after two minutes, and a
// click stops the retrying.
TEST_F(Tray, TryingShowsWhyWarnsAfterTwoMinutesAndAClickStopsIt)
{
    const char* szIsolated = getenv("TAMARIN_ISOLATED_NETWORK");
    if (szIsolated == NULL || strcmp(szIsolated, "1") != 0) GTEST_SKIP() << "an unknown host name needs the tests' isolated network";
    const NtpTimestamp qwClick = FreezeClock();
    const HICON hOffline = lastRecord.hIcon;
    Type(IDC_SERVERNAME, "no-such-host.invalid");
    Click(IDM_ONLINE);
    EXPECT_NE(WaitForLine(HostLookupFailed), "");
    const std::string trying = "Tamarin Time\n再試行 " + LocalMinute(qwClick) + " から (ホスト確認 エラー)";
    EXPECT_EQ(std::string(lastRecord.szTip), trying);
    EXPECT_EQ(Text(IDM_ONLINE), "オフライン");  // the click's action
    HICON hTrying = lastRecord.hIcon;
    EXPECT_NE(hTrying, hOffline);

    qwMonotonic_ms += 120000 - 1;
    ShowTrayState();
    EXPECT_EQ(lastRecord.hIcon, hTrying);
    qwMonotonic_ms += 1;
    ShowTrayState();
    EXPECT_NE(lastRecord.hIcon, hTrying);  // the warning
    EXPECT_NE(lastRecord.hIcon, hOffline);
    EXPECT_EQ(std::string(lastRecord.szTip), trying);

    Click(IDM_ONLINE);  // stops everything
    EXPECT_EQ(lastRecord.hIcon, hOffline);
    EXPECT_EQ(Text(IDM_ONLINE), "オンライン");
    ForgetLog();
    for (int i = 0; i < 60; ++i) {
        qwMonotonic_ms += 1000;
        SendMessageA(hMain, WM_TIMER, 1, 0);
    }
    Sleep(200);
    PumpMessages();
    EXPECT_EQ(ReadLog(), std::vector<std::string>{}) << "no lookup in the minute after the click";
    ThawClock();
}

}  // namespace
