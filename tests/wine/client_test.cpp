#include <gtest/gtest.h>
#include <windows.h>

#include <stdlib.h>
#include <string.h>

#include <string>
#include <vector>

#include "app/exit_countdown.h"
#include "app/shell_state.h"
#include "app/tray.h"
#include "driver/driver.h"
#include "resources/resource.h"
#include "sntp/client.h"
#include "sntp/packet.h"
#include "sntp/windows_time.h"
#include "support/frozen_clock.h"
#include "support/log_window.h"
#include "support/loopback.h"
#include "support/main_dialog.h"

// The Windows Time query's reading of the service's setting, which Wine,
// having no such service, never reaches through the query itself.
namespace service {
#include "sntp/windows_time.cpp"
}

namespace {

bool Settled(const std::string& line)
{
    return line == "交信開始..." || line.find("エラー") != std::string::npos || line == "ホストがIPホストではありません";
}

bool WentOnline(const std::string& line)
{
    return line == "交信開始...";
}

int Count(const std::vector<std::string>& log, const std::string& line)
{
    int n = 0;
    for (const std::string& entry : log) n += entry == line;
    return n;
}

// Name lookups of unknown names would ask the machine's name servers; the
// suite runs them only where the tests' network is loopback alone.
bool EnvironmentSays(const char* name)
{
    const char* value = getenv(name);
    return value != NULL && value[0] == '1';
}

bool NetworkIsIsolated()
{
    return EnvironmentSays("TAMARIN_ISOLATED_NETWORK");
}

class Online : public MainDialog {
protected:
    void GoOnlineWith(const char* server)
    {
        Type(IDC_SERVERNAME, server);
        SendMessageA(hMain, WM_COMMAND, IDM_ONLINE, 0);
    }

    void Toggle() { SendMessageA(hMain, WM_COMMAND, IDM_ONLINE, 0); }

    bool MenuChecked(HMENU hMenu) { return GetMenuState(hMenu, IDM_ONLINE, MF_BYCOMMAND) & MF_CHECKED; }

    // The App menu's check mark, as set when the popup opens.
    bool AppMenuChecked()
    {
        HMENU hApp = GetSubMenu(GetMenu(hMain), 0);
        SendMessageA(hMain, WM_INITMENUPOPUP, (WPARAM)hApp, 0);
        return MenuChecked(hApp);
    }
};

// The test run's hosts file names 127.0.0.3 0.tamarin-time.test.
bool TestHostsEntry()
{
    return EnvironmentSays("TAMARIN_TEST_HOSTS");
}

std::string lastTip;

BOOL WINAPI RecordTip(DWORD, PNOTIFYICONDATAA nid)
{
    lastTip = nid->szTip;
    return TRUE;
}

TEST_F(Online, GoesOnlineByAddressAndByNameAndOfflineAgain)
{
    HoldMonotonicClock();
    qwMonotonic_ms = 36000000;  // ten hours after the machine started: going online is no warning
    trayNotifyIcon = RecordTip;
    CreateMainWindow();
    // Opened while offline: the menu's loop lets the tick run, which would poll.
    const HMENU hTrayMenu = MenuOpenedBy(WM_RBUTTONDOWN);
    ASSERT_NE(hTrayMenu, (HMENU)NULL);
    std::vector<std::pair<std::string, std::string>> rows = {
        {"127.0.0.1", "127.0.0.1"}, {"localhost", "127.0.0.1"}, {"127.0.0.2", "127.0.0.2"}};  // no reverse name
    if (TestHostsEntry()) rows.push_back({"0.tamarin-time.test", "127.0.0.3"});  // a name, though it starts with a digit
    for (const auto& row : rows) {
        const char* server = row.first.c_str();
        SCOPED_TRACE(server);
        ForgetLog();
        GoOnlineWith(server);
        ASSERT_EQ(WaitForLine(Settled), "交信開始...");
        std::vector<std::string> log = ReadLog();
        ASSERT_GE(log.size(), 4u);
        EXPECT_EQ(std::vector<std::string>(log.end() - 4, log.end() - 1),
                  (std::vector<std::string>{"ホスト確認成功", "サーバー確認成功", "交信開始..."}));
        EXPECT_EQ(Text(IDM_ONLINE), "オフライン");
        EXPECT_TRUE(MenuChecked(hTrayMenu));
        EXPECT_TRUE(AppMenuChecked());
        EXPECT_EQ(lastTip, "Tamarin Time\n\x96\xA2\x93\xAF\x8A\xFA");  // 未同期
        const ClientReport report = ReportClient();
        EXPECT_EQ(report.nStatus, CLIENT_ONLINE);
        EXPECT_EQ(report.saServer.sin_family, AF_INET);
        EXPECT_EQ(report.saServer.sin_addr.s_addr, inet_addr(row.second.c_str()));
        EXPECT_EQ(report.saServer.sin_port, htons(NTP_PORT));

        Toggle();
        EXPECT_EQ(ReadLog()[ReadLog().size() - 2], "交信終了");
        EXPECT_EQ(Text(IDM_ONLINE), "オンライン");
        EXPECT_FALSE(MenuChecked(hTrayMenu));
        EXPECT_FALSE(AppMenuChecked());
        EXPECT_EQ(ReportClient().nFace, FACE_OFFLINE);
    }
    trayNotifyIcon = Shell_NotifyIconA;
    ReleaseMonotonicClock();
}

TEST_F(Online, MissingServiceEntryFallsBackToPort123)
{
    // The prefix's own services file maps ntp to 123/udp; without that line
    // the service lookup fails.
    const char kServices[] = "C:\\windows\\system32\\drivers\\etc\\services";
    const char kSaved[] = "C:\\windows\\system32\\drivers\\etc\\services.tamarin-test";
    ASSERT_TRUE(CopyFileA(kServices, kSaved, FALSE));
    HANDLE hFile = CreateFileA(kServices, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL);
    DWORD written;
    WriteFile(hFile, "echo 7/udp\r\n", 12, &written, NULL);
    CloseHandle(hFile);

    CreateMainWindow();
    GoOnlineWith("127.0.0.1");
    std::string settled = WaitForLine(Settled);
    CopyFileA(kSaved, kServices, FALSE);
    DeleteFileA(kSaved);

    ASSERT_EQ(settled, "サーバー確認 エラー (11004)") << "first line that settles";  // WSANO_DATA
    ASSERT_EQ(WaitForLine(WentOnline), "交信開始...");
    std::vector<std::string> log = ReadLog();
    EXPECT_EQ(log[log.size() - 3], "ポートとして123/UDPを用います");
    EXPECT_EQ(ReportClient().saServer.sin_port, htons(NTP_PORT));
    EXPECT_EQ(ReportClient().nStatus, CLIENT_ONLINE);
}

TEST_F(Online, ToggleDuringLookupStopsAndStaleCompletionsAreIgnored)
{
    CreateMainWindow();
    ForgetLog();
    GoOnlineWith("localhost");
    // A completion whose task is not the pending lookup's changes nothing.
    SendMessageA(hMain, RegisterWindowMessageA("WSAAsyncGetHostByXXXX"), (WPARAM)0x7E57, WSAMAKEASYNCREPLY(0, WSAHOST_NOT_FOUND));
    Toggle();  // while the host lookup is pending: cancelled, offline
    EXPECT_EQ(Text(IDM_ONLINE), "オンライン");
    Toggle();  // and afresh
    ASSERT_EQ(WaitForLine(WentOnline), "交信開始...");
    Toggle();  // offline

    // A click while the service lookup is pending stops it too.
    GoOnlineWith("localhost");
    MSG msg;
    ASSERT_TRUE(WaitForMessage(RegisterWindowMessageA("WSAAsyncGetHostByXXXX"), &msg));
    DispatchMessageA(&msg);
    Toggle();
    Toggle();
    // Then the cancelled lookups, which complete all the same under Wine.
    for (int i = 0; i < 100 && Count(ReadLog(), "交信開始...") < 2; ++i) {
        Sleep(50);
        PumpMessages();
    }
    Sleep(500);
    PumpMessages();
    std::vector<std::string> log = ReadLog();
    EXPECT_EQ(Count(log, "ホスト確認成功"), 3) << testing::PrintToString(log);
    EXPECT_EQ(Count(log, "サーバー確認成功"), 2);
    EXPECT_EQ(Count(log, "交信開始..."), 2);
    EXPECT_EQ(Count(log, "交信終了"), 1);
    EXPECT_EQ(Count(log, "ホスト確認 エラー (11001)"), 0);
}

TEST_F(Online, StaleLookupNeverOverwritesTheCurrentServer)
{
    if (!TestHostsEntry()) GTEST_SKIP() << "needs the test run's hosts file";
    CreateMainWindow();
    for (int i = 0; i < 3; ++i) {
        ForgetLog();
        GoOnlineWith("localhost");
        Toggle();  // the lookup of localhost is cancelled
        GoOnlineWith("0.tamarin-time.test");
        Sleep(300);  // both complete before either completion is handled
        ASSERT_EQ(WaitForLine(Settled), "交信開始...");
        EXPECT_EQ(ReportClient().saServer.sin_addr.s_addr, inet_addr("127.0.0.3")) << i;
        Toggle();
    }
}

TEST_F(Online, ThousandTogglesLeaveNoSocketOrHandleBehind)
{
    CreateMainWindow();
    Type(IDC_SERVERNAME, "127.0.0.1");
    int before = CountProcessHandles(GetCurrentProcessId());
    for (int i = 0; i < 1000; ++i) {
        Toggle();
        if (i % 50 == 0) PumpMessages();
    }
    // Each click starts or stops. The cancelled lookups complete all the same
    // under Wine; once they are over, the next click goes online: then
    // offline for good.
    EXPECT_EQ(ReportClient().nFace, FACE_OFFLINE);
    for (int i = 0; i < 100; ++i) {
        Sleep(10);
        PumpMessages();
    }
    Toggle();
    for (int i = 0; i < 500 && ReportClient().nStatus != CLIENT_ONLINE; ++i) {
        Sleep(10);
        PumpMessages();
    }
    ASSERT_TRUE(ReportClient().nStatus == CLIENT_ONLINE);
    Toggle();  // offline
    // The system's lookup threads end in their own time; a leak never does.
    int after = CountProcessHandles(GetCurrentProcessId());
    for (int i = 0; i < 200 && after > before + 2; ++i) {
        Sleep(100);
        PumpMessages();
        after = CountProcessHandles(GetCurrentProcessId());
    }
    ASSERT_GT(before, 0);
    EXPECT_LE(after, before + 2) << "handles before " << before << ", after " << after;
}

TEST_F(Online, FailedLookupsAreTriedAgainAfterTheBackoff)
{
    if (!NetworkIsIsolated()) GTEST_SKIP() << "an unknown host name needs the tests' isolated network";
    HoldMonotonicClock();
    CreateMainWindow();
    const char kUnknown[] = "no-such-host.invalid";
    // In turn: each retry falls due and fails again.
    const struct {
        const char* interval;
        bool fClick;    // the user's click, else the tick of the retry due
        uint32_t wait;  // seconds until the next attempt
    } rows[] = {
        {"10", true, 15}, {"10", false, 30}, {"1", false, 60}, {"1", false, 60},  // up to the interval
        {"999", false, 120}, {"999", false, 240}, {"999", false, 480}, {"999", false, 900},  // at most 15 minutes
        {"999", true, 15},  // the user's own attempt starts afresh
    };
    uint64_t qwSince_ms = 0;
    for (const auto& row : rows) {
        SCOPED_TRACE(testing::Message() << row.interval << " " << row.wait);
        Type(IDC_INTERVAL, row.interval);
        ForgetLog();
        if (row.fClick) {
            if (ReportClient().nFace != FACE_OFFLINE) Toggle();
            qwMonotonic_ms += 60000;
            qwSince_ms = qwMonotonic_ms;  // not restarted by a retry
            GoOnlineWith(kUnknown);
        } else {
            qwMonotonic_ms = ReportClient().qwNextAttempt_ms - 1;
            SendMessageA(hMain, WM_TIMER, 1, 0);
            EXPECT_EQ(ReportClient().nStatus, CLIENT_WAITING) << "not yet due";
            ++qwMonotonic_ms;
            SendMessageA(hMain, WM_TIMER, 1, 0);
        }
        EXPECT_EQ(WaitForLine(Settled).rfind("ホスト確認 エラー (", 0), 0u);
        EXPECT_EQ(ReportClient().nStatus, CLIENT_WAITING);
        EXPECT_EQ(ReportClient().qwNextAttempt_ms - qwMonotonic_ms, row.wait * 1000ull);
        EXPECT_EQ(ReportClient().qwTryingSince_ms, qwSince_ms);
    }
    ReleaseMonotonicClock();
}

// Not resident, a name that never resolves ends the run two minutes after
// the click, saying why, with exit code 2; the retries go on meanwhile.
TEST_F(Online, ANameThatNeverResolvesEndsARunThatIsNotResident)
{
    if (!NetworkIsIsolated()) GTEST_SKIP() << "an unknown host name needs the tests' isolated network";
    HoldMonotonicClock();
    CreateMainWindow();
    KillTimer(hMain, 1);  // the test delivers the ticks itself
    CancelExitCountdown();
    Click(IDC_STAY);  // off
    GoOnlineWith("no-such-host.invalid");
    for (int s = 0; s < 130 && IsWindow(hMain); ++s, qwMonotonic_ms += 1000) {
        for (DWORD start = GetTickCount(); ReportClient().nStatus == CLIENT_RESOLVING && GetTickCount() - start < 9000;) {
            PumpMessages();
        }
        SendMessageA(hMain, WM_TIMER, 1, 0);
        PumpMessages();
    }
    std::vector<std::string> log = ReadLog();
    EXPECT_EQ(log.end()[-6], "2分間使える応答がなかったため、終了コード2で終了します (ホスト確認 エラー)");
    EXPECT_EQ(ExitCodeOfRun(), RUN_NO_REPLY);
    ReleaseMonotonicClock();
}

TEST_F(Online, BadServerTextsNeverCrash)
{
    CreateMainWindow();
    std::vector<std::string> texts = {"999.1.1.1", "1abc"};
    if (NetworkIsIsolated()) {
        texts.push_back("no-such-host.invalid");
        texts.push_back("時刻サーバー");
        texts.push_back(std::string(255, 'n'));
        texts.push_back("");
    }
    for (const std::string& text : texts) {
        SCOPED_TRACE(text);
        ForgetLog();
        GoOnlineWith(text.c_str());
        std::string settled = WaitForLine(Settled);
        EXPECT_NE(settled, "");
        if (text == "no-such-host.invalid") {
            // Not found; or, where no name server can be reached (the tests'
            // isolated network), a temporary failure.
            EXPECT_TRUE(settled == "ホスト確認 エラー (11001)" || settled == "ホスト確認 エラー (11002)") << settled;
        }
        if (ReportClient().nFace != FACE_OFFLINE) Toggle();  // online or trying again: stopped
    }
    if (!NetworkIsIsolated()) GTEST_SKIP() << "host names other than localhost need the tests' isolated network";
}

WindowsTime TimeServiceSynchronising()
{
    return {true, true};
}

WindowsTime TimeServiceWithoutSync()
{
    return {true, false};
}

// The service's own setting decides whether it sets the clock: Type NoSync,
// in any case, leaves it alone.
TEST_F(Online, WindowsTimeSetToNoSyncLeavesTheClockAlone)
{
    const char kService[] = "SYSTEM\\CurrentControlSet\\Services\\W32Time", kParameters[] = "Parameters";
    HKEY hService, hKey;
    ASSERT_EQ(RegCreateKeyA(HKEY_LOCAL_MACHINE, kService, &hService), ERROR_SUCCESS);
    ASSERT_EQ(RegCreateKeyA(hService, kParameters, &hKey), ERROR_SUCCESS);
    const struct {
        const char* szType;
        bool fSynchronising;
    } rows[] = {{"NoSync", false}, {"nosync", false}, {"NT5DS", true}, {"AllSync", true}};
    for (const auto& row : rows) {
        RegSetValueExA(hKey, "Type", 0, REG_SZ, (const BYTE*)row.szType, (DWORD)strlen(row.szType) + 1);
        EXPECT_EQ(service::SetToSynchronise(), row.fSynchronising) << row.szType;
    }
    RegCloseKey(hKey);
    RegDeleteKeyA(hService, kParameters);
    RegCloseKey(hService);
    RegDeleteKeyA(HKEY_LOCAL_MACHINE, kService);
}

// Going online while the Windows Time service sets the clock too says so,
// and what to do; not when it runs without synchronising.
TEST_F(Online, GoingOnlineSaysWhenWindowsTimeSetsTheClockToo)
{
    CreateMainWindow();
    const struct {
        WindowsTime (*service)();
        int nLines;
    } rows[] = {{TimeServiceSynchronising, 1}, {TimeServiceWithoutSync, 0}};
    for (const auto& row : rows) {
        windowsTime = row.service;
        ForgetLog();
        GoOnlineWith("127.0.0.1");
        ASSERT_EQ(WaitForLine(WentOnline), "交信開始...");
        Toggle();  // offline: nothing to say
        std::vector<std::string> log = ReadLog();
        EXPECT_EQ(Count(log, "Windows Time サービスもこのパソコンの時計を合わせています"), row.nLines);
        EXPECT_EQ(Count(log, "止めるには「日付と時刻」の設定で「時刻を自動的に設定する」をオフにしてください"), row.nLines);
    }
    windowsTime = QueryWindowsTime;
}

}  // namespace
