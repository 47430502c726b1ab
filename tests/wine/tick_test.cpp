#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "resources/resource.h"
#include "sntp/tick.h"
#include "state/program_state.h"
#include "support/log_window.h"
#include "support/loopback.h"
#include "support/main_dialog.h"

namespace {

class Tick : public MainDialog {
protected:
    void SetUp() override
    {
        MainDialog::SetUp();
        CreateMainWindow();
        KillTimer(hMain, 1);  // the test delivers the ticks itself
        sockPeer = BoundLoopbackSocket(&client.saServer);
        client.sockClient = BoundLoopbackSocket(&saClient);
    }

    void TearDown() override
    {
        client.fCycleActive = 0;
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
    client.fCycleActive = 1;
    client.nCycleCount = POLL_AT_ONCE;
    TickOnce();
    Sleep(50);
    EXPECT_EQ(Requests(), 1);
    EXPECT_EQ(client.nCycleCount, 0);

    for (int i = 0; i < 599; ++i) TickOnce();
    Sleep(50);
    EXPECT_EQ(Requests(), 0);
    TickOnce(2);  // another timer: nothing
    EXPECT_EQ(client.nCycleCount, 599);
    TickOnce();
    Sleep(50);
    EXPECT_EQ(Requests(), 1);

    // A shorter interval takes effect at the next tick.
    Type(IDC_INTERVAL, "1");
    for (int i = 0; i < 60; ++i) TickOnce();
    Sleep(50);
    EXPECT_EQ(Requests(), 1);

    closesocket(client.sockClient);  // a send that fails is logged and the cycle goes on
    client.nCycleCount = POLL_AT_ONCE;
    TickOnce();
    EXPECT_EQ(LastLine(), "sendto エラー (10038)");  // WSAENOTSOCK
    EXPECT_EQ(client.nCycleCount, 0);
}

TEST_F(Tick, CountdownClosesTheWindowUnlessStayingResident)
{
    client.fExitCountdown = 1;
    client.nExitCount = 0;
    std::vector<std::string> lines;
    for (int i = 0; i < 4; ++i) {
        TickOnce();
        lines.push_back(LastLine());
    }
    EXPECT_EQ(lines, (std::vector<std::string>{"終了4秒前", "終了3秒前", "終了2秒前", "終了1秒前"}));

    client.nExitCount = 0;  // a reply during the countdown starts it again
    TickOnce();
    EXPECT_EQ(LastLine(), "終了4秒前");

    Click(IDC_STAY);  // off
    Click(IDC_STAY);  // on again: the countdown stops
    TickOnce();
    EXPECT_EQ(LastLine(), "終了4秒前");
    EXPECT_EQ(client.fExitCountdown, 0);

    // The last tick of the countdown also polls when its interval is due.
    client.fExitCountdown = 1;
    client.nExitCount = 4;
    client.fCycleActive = 1;
    client.nCycleCount = POLL_AT_ONCE;
    TickOnce();
    Sleep(50);
    EXPECT_EQ(Requests(), 1);
    MSG msg;
    EXPECT_TRUE(PeekMessageA(&msg, hMain, WM_CLOSE, WM_CLOSE, PM_NOREMOVE));
    client.fCycleActive = 0;
    PumpMessages();
    EXPECT_FALSE(IsWindow(hMain));
    EXPECT_EQ(shell.MainWindow, (HWND)NULL);  // no other thread's line goes to the old handle
    HKEY hKey;
    ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Halden Works\\Tamarin Time", 0, KEY_READ, &hKey), 0);
    RegCloseKey(hKey);
}

}  // namespace
