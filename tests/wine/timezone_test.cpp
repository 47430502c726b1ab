#include <gtest/gtest.h>
#include <windows.h>
#include <commctrl.h>

#include <string>
#include <vector>

#include "app/timezone.h"
#include "driver/driver.h"
#include "support/log_window.h"

namespace {

class TimeZone : public testing::Test {
protected:
    void SetUp() override { CreateLogWindow(); }
    void TearDown() override { DestroyLogWindow(); }

    // Runs the thread as the tray menu does and serves the log meanwhile;
    // false when it has not ended after a minute. `during` runs meanwhile.
    bool RunThread(const char* szCommandLine, void (*during)() = NULL)
    {
        HANDLE hThread = CreateThread(NULL, 0, TimeZoneThreadFunc, (LPVOID)szCommandLine, 0, NULL);
        if (hThread == NULL) return false;
        if (during != NULL) during();
        DWORD result;
        while ((result = MsgWaitForMultipleObjects(1, &hThread, FALSE, 60000, QS_ALLINPUT)) == WAIT_OBJECT_0 + 1) {
            PumpMessages();
        }
        CloseHandle(hThread);
        return result == WAIT_OBJECT_0;
    }
};

TEST_F(TimeZone, PanelThatEndsWithoutTabsEndsTheThreadQuietly)
{
    // Under Wine rundll32 finds no Date/Time panel and ends at once.
    ASSERT_TRUE(RunThread(NULL));
    EXPECT_TRUE(ReadLog().empty());
}

HWND PanelChild(const char* szClass)
{
    HWND hPanel = NULL;
    for (int i = 0; i < 200 && hPanel == NULL; ++i, Sleep(50)) hPanel = FindWindowA("TamarinPanelStandIn", NULL);
    return FindWindowExA(hPanel, NULL, szClass, NULL);
}

bool fTabsLocked, fButtonUsable, fTimeZoneReachable;
LRESULT nPage;

// Waits for the thread to find the tabs, then closes the panel as its user would.
void LookAtPanelAndCloseIt()
{
    HWND hTab = PanelChild(WC_TABCONTROLA);
    for (int i = 0; i < 100 && IsWindowEnabled(hTab); ++i) Sleep(50);
    fTabsLocked = hTab != NULL && !IsWindowEnabled(hTab);
    fButtonUsable = IsWindowEnabled(PanelChild("BUTTON")) != FALSE;
    nPage = SendMessageA(hTab, TCM_GETCURSEL, 0, 0);
    // The page it opened on has the button that changes the time zone, usable.
    HWND hChange = FindWindowExA(GetParent(hTab), NULL, "BUTTON", "タイム ゾーンの変更(&Z)...");
    fTimeZoneReachable = hChange != NULL && IsWindowEnabled(hChange) && IsWindowVisible(hChange);
    PostMessageA(GetParent(hTab), WM_CLOSE, 0, 0);
}

TEST_F(TimeZone, PanelTabsAreLockedUntilItClosesAndItsHandlesAreClosed)
{
    int before = CountProcessHandles(GetCurrentProcessId());
    ASSERT_TRUE(RunThread("panel_stand_in.exe", LookAtPanelAndCloseIt));
    EXPECT_TRUE(fTabsLocked);
    EXPECT_TRUE(fButtonUsable);
    EXPECT_EQ(nPage, 0);  // 日付と時刻
    EXPECT_TRUE(fTimeZoneReachable);
    EXPECT_TRUE(ReadLog().empty());
    EXPECT_EQ(CountProcessHandles(GetCurrentProcessId()), before);
}

TEST_F(TimeZone, PanelThatCannotStartGivesOneLine)
{
    ASSERT_TRUE(RunThread("no-such-panel-program.exe"));
    EXPECT_EQ(ReadLog(), (std::vector<std::string>{"TimeZoneThreadFunc CreateProcess \x83\x47\x83\x89\x81\x5B (2)", ""}));
}

}  // namespace
