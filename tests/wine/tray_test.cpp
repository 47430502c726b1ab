#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "app/tray.h"
#include "resources/resource.h"
#include "state/program_state.h"
#include "support/main_dialog.h"

namespace {

// What the tray asked of the shell: the message and the icon of each call.
std::vector<DWORD> notifications;
std::vector<HICON> icons;

// The shell refuses so many NIM_ADD calls first, as at logon.
int nAddsRefused = 0;

BOOL WINAPI RecordNotifyIcon(DWORD dwMessage, PNOTIFYICONDATAA nid)
{
    notifications.push_back(dwMessage);
    icons.push_back(nid->hIcon);
    return dwMessage != NIM_ADD || nAddsRefused-- <= 0;
}

class Tray : public MainDialog {
protected:
    void SetUp() override
    {
        MainDialog::SetUp();
        trayNotifyIcon = RecordNotifyIcon;
        CreateMainWindow();
    }

    void TearDown() override
    {
        MainDialog::TearDown();
        trayNotifyIcon = Shell_NotifyIconA;
    }
};

TEST_F(Tray, MenuItemsCarryTheirOwnCommands)
{
    const struct {
        UINT id;
        const char* text;
    } rows[] = {{IDM_TIMEZONE, "タイムゾーンの設定(&Z)..."}, {IDM_SETTINGS, "設定(&S)..."}, {0, ""},
                {IDM_ONLINE, "オンライン(&O)"}, {0, ""}, {IDM_EXIT, "終了(&X)"}};
    HMENU hMenu = TrayMenu();
    ASSERT_EQ(GetMenuItemCount(hMenu), 6);
    for (int i = 0; i < 6; ++i) {
        char text[64] = "";
        GetMenuStringA(hMenu, i, text, sizeof text, MF_BYPOSITION);
        EXPECT_EQ(GetMenuItemID(hMenu, i), rows[i].id) << i;
        EXPECT_STREQ(text, rows[i].text) << i;
    }
}

TEST_F(Tray, IconFollowsTheStateThroughAShellRestartAndGoesAtTheEnd)
{
    ShowTrayOnlineState(true);
    ShowTrayOnlineState(false);
    ASSERT_GE(icons.size(), 2u);
    const HICON hOnline = icons[icons.size() - 2], hOffline = icons.back();
    EXPECT_NE(hOnline, hOffline);
    for (int32_t fOnline : {1, 0}) {
        client.nStatus = fOnline ? CLIENT_ONLINE : CLIENT_OFFLINE;
        SendMessageA(shell.TrayWindow, RegisterWindowMessageA("TaskbarCreated"), 0, 0);
        EXPECT_EQ(notifications.back(), (DWORD)NIM_ADD);
        EXPECT_EQ(icons.back(), fOnline ? hOnline : hOffline);
    }
    DestroyWindow(hMain);  // the icon goes with the program
    EXPECT_EQ(notifications.back(), (DWORD)NIM_DELETE);
}

TEST_F(Tray, IconRefusedAtLogonIsAskedForAgainUntilTheShellTakesIt)
{
    DestroyWindow(hMain);
    nAddsRefused = 2;
    notifications.clear();
    CreateMainWindow();
    client.nStatus = CLIENT_ONLINE;  // gone online meanwhile: the icon it adds shows so
    ShowTrayOnlineState(true);
    const HICON hOnline = icons.back();
    for (int i = 0; i < 4; ++i) SendMessageA(shell.TrayWindow, WM_TIMER, 1, 0);
    EXPECT_EQ(notifications, (std::vector<DWORD>{NIM_ADD, NIM_MODIFY, NIM_ADD, NIM_ADD}));
    EXPECT_EQ(icons.back(), hOnline);
}

}  // namespace
