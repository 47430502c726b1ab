#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "app/timezone.h"
#include "support/log_window.h"

namespace {

class TimeZone : public testing::Test {
protected:
    void SetUp() override { CreateLogWindow(); }
    void TearDown() override { DestroyLogWindow(); }

    // Runs the thread as the tray menu does and serves the log meanwhile;
    // false when it has not ended after a minute.
    bool RunThread(const char* szCommandLine)
    {
        HANDLE hThread = CreateThread(NULL, 0, TimeZoneThreadFunc, (LPVOID)szCommandLine, 0, NULL);
        if (hThread == NULL) return false;
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

TEST_F(TimeZone, PanelThatCannotStartGivesOneLine)
{
    ASSERT_TRUE(RunThread("no-such-panel-program.exe"));
    EXPECT_EQ(ReadLog(), (std::vector<std::string>{"TimeZoneThreadFunc CreateProcess \x83\x47\x83\x89\x81\x5B (2)", ""}));
}

}  // namespace
