#include <gtest/gtest.h>
#include <windows.h>

#include <stdlib.h>

#include <string>
#include <vector>

#include "app/state.h"
#include "driver/driver.h"
#include "resources/resource.h"
#include "support/log_window.h"
#include "support/loopback.h"
#include "support/main_dialog.h"

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
bool NetworkIsIsolated()
{
    const char* isolated = getenv("TAMARIN_ISOLATED_NETWORK");
    return isolated != NULL && isolated[0] == '1';
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

TEST_F(Online, GoesOnlineByAddressAndByNameAndOfflineAgain)
{
    CreateMainWindow();
    for (const char* server : {"127.0.0.1", "localhost"}) {
        SCOPED_TRACE(server);
        SendDlgItemMessageA(hMain, IDC_LOG, LB_RESETCONTENT, 0, 0);
        GoOnlineWith(server);
        ASSERT_EQ(WaitForLine(Settled), "交信開始...");
        std::vector<std::string> log = ReadLog();
        ASSERT_GE(log.size(), 4u);
        EXPECT_EQ(std::vector<std::string>(log.end() - 4, log.end() - 1),
                  (std::vector<std::string>{"ホスト確認成功", "サーバー確認成功", "交信開始..."}));
        EXPECT_EQ(Text(IDM_ONLINE), "オフライン");
        EXPECT_TRUE(MenuChecked(hTrayMenu));
        EXPECT_TRUE(AppMenuChecked());
        EXPECT_EQ(fOnline, 1);
        EXPECT_EQ(fCycleActive, 1);
        EXPECT_EQ(nCycleCount, 9999999);
        EXPECT_EQ(saServer.sin_family, AF_INET);
        EXPECT_EQ(saServer.sin_addr.s_addr, inet_addr("127.0.0.1"));
        EXPECT_EQ(saServer.sin_port, htons(123));
        EXPECT_NE(sockClient, INVALID_SOCKET);

        Toggle();
        EXPECT_EQ(ReadLog()[ReadLog().size() - 2], "交信終了");
        EXPECT_EQ(Text(IDM_ONLINE), "オンライン");
        EXPECT_FALSE(MenuChecked(hTrayMenu));
        EXPECT_FALSE(AppMenuChecked());
        EXPECT_EQ(fOnline | fCycleActive, 0);
        EXPECT_EQ(sockClient, INVALID_SOCKET);
    }
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
    EXPECT_EQ(saServer.sin_port, htons(123));
    EXPECT_EQ(fOnline, 1);
}

TEST_F(Online, ToggleDuringLookupRestartsAndStaleCompletionsAreIgnored)
{
    CreateMainWindow();
    SendDlgItemMessageA(hMain, IDC_LOG, LB_RESETCONTENT, 0, 0);
    GoOnlineWith("localhost");
    Toggle();  // while the host lookup is pending: cancel and start again
    Toggle();
    ASSERT_EQ(WaitForLine(WentOnline), "交信開始...");
    Sleep(500);  // the cancelled lookups complete all the same under Wine
    PumpMessages();
    std::vector<std::string> log = ReadLog();
    EXPECT_EQ(Count(log, "ホスト確認成功"), 1) << testing::PrintToString(log);
    EXPECT_EQ(Count(log, "交信開始..."), 1);
    EXPECT_EQ(Count(log, "交信終了"), 0);
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
    // A click during a lookup starts it again: go offline once online for good.
    for (int i = 0; i < 500 && !fOnline; ++i) {
        Sleep(10);
        PumpMessages();
    }
    ASSERT_TRUE(fOnline);
    Toggle();  // offline
    // The system's lookup threads end in their own time; a leak never does.
    int after = CountProcessHandles(GetCurrentProcessId());
    for (int i = 0; i < 200 && after > before + 2; ++i) {
        Sleep(100);
        PumpMessages();
        after = CountProcessHandles(GetCurrentProcessId());
    }
    ASSERT_GT(before, 0);
    EXPECT_EQ(sockClient, INVALID_SOCKET);
    EXPECT_LE(after, before + 2) << "handles before " << before << ", after " << after;
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
        SendDlgItemMessageA(hMain, IDC_LOG, LB_RESETCONTENT, 0, 0);
        GoOnlineWith(text.c_str());
        std::string settled = WaitForLine(Settled);
        EXPECT_NE(settled, "");
        if (text == "no-such-host.invalid") {
            // Not found; or, where no name server can be reached (the tests'
            // isolated network), a temporary failure.
            EXPECT_TRUE(settled == "ホスト確認 エラー (11001)" || settled == "ホスト確認 エラー (11002)") << settled;
        }
        if (fOnline) Toggle();
    }
    if (!NetworkIsIsolated()) GTEST_SKIP() << "host names other than localhost need the tests' isolated network";
}

class Tick : public MainDialog {
protected:
    void SetUp() override
    {
        MainDialog::SetUp();
        CreateMainWindow();
        KillTimer(hMain, 1);  // the test delivers the ticks itself
        sockPeer = BoundLoopbackSocket(&saServer);
        sockClient = BoundLoopbackSocket(&saClient);
    }

    void TearDown() override
    {
        fCycleActive = 0;
        closesocket(sockPeer);
        MainDialog::TearDown();
    }

    void TickOnce(WPARAM id = 1) { SendMessageA(hMain, WM_TIMER, id, 0); }

    int Requests()
    {
        int n = 0;
        u_long waiting = 0;
        char datagram[100];
        while (ioctlsocket(sockPeer, FIONREAD, &waiting) == 0 && waiting > 0) {
            if (recv(sockPeer, datagram, sizeof datagram, 0) == 48 && datagram[0] == 0x23) ++n;
        }
        return n;
    }

    std::string LastLine()
    {
        std::vector<std::string> log = ReadLog();
        return log.size() >= 2 ? log[log.size() - 2] : "";
    }

    SOCKET sockPeer = INVALID_SOCKET;
    sockaddr_in saClient;
};

TEST_F(Tick, PollsOnTheFirstTickThenEveryInterval)
{
    fCycleActive = 1;
    nCycleCount = 9999999;
    TickOnce();
    Sleep(50);
    EXPECT_EQ(Requests(), 1);
    EXPECT_EQ(nCycleCount, 0);

    for (int i = 0; i < 599; ++i) TickOnce();
    Sleep(50);
    EXPECT_EQ(Requests(), 0);
    TickOnce(2);  // another timer: nothing
    EXPECT_EQ(nCycleCount, 599);
    TickOnce();
    Sleep(50);
    EXPECT_EQ(Requests(), 1);

    // A shorter interval takes effect at the next tick.
    Type(IDC_INTERVAL, "1");
    for (int i = 0; i < 60; ++i) TickOnce();
    Sleep(50);
    EXPECT_EQ(Requests(), 1);

    closesocket(sockClient);  // a send that fails is logged and the cycle goes on
    nCycleCount = 9999999;
    TickOnce();
    EXPECT_EQ(LastLine().rfind("sendto エラー (", 0), 0u) << LastLine();
    EXPECT_EQ(nCycleCount, 0);
}

TEST_F(Tick, CountdownClosesTheWindowUnlessStayingResident)
{
    fExitCountdown = 1;
    nExitCount = 0;
    std::vector<std::string> lines;
    for (int i = 0; i < 4; ++i) {
        TickOnce();
        lines.push_back(LastLine());
    }
    EXPECT_EQ(lines, (std::vector<std::string>{"終了4秒前", "終了3秒前", "終了2秒前", "終了1秒前"}));

    nExitCount = 0;  // a reply during the countdown starts it again
    TickOnce();
    EXPECT_EQ(LastLine(), "終了4秒前");

    Click(IDC_STAY);  // off
    Click(IDC_STAY);  // on again: the countdown stops
    TickOnce();
    EXPECT_EQ(LastLine(), "終了4秒前");
    EXPECT_EQ(fExitCountdown, 0);

    // The last tick of the countdown also polls when its interval is due.
    fExitCountdown = 1;
    nExitCount = 4;
    fCycleActive = 1;
    nCycleCount = 9999999;
    TickOnce();
    Sleep(50);
    EXPECT_EQ(Requests(), 1);
    MSG msg;
    EXPECT_TRUE(PeekMessageA(&msg, hMain, WM_CLOSE, WM_CLOSE, PM_NOREMOVE));
    fCycleActive = 0;
    PumpMessages();
    EXPECT_FALSE(IsWindow(hMain));
    HKEY hKey;
    ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Halden Works\\Tamarin Time", 0, KEY_READ, &hKey), 0);
    RegCloseKey(hKey);
}

}  // namespace
