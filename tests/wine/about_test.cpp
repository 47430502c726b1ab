#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "app/about.h"
#include "resources/resource.h"
#include "support/log_window.h"
#include "support/main_dialog.h"

namespace {

bool Elevated()
{
    return true;
}

// Presses Go Home once the About box is open, from inside its modal loop.
void CALLBACK PressGoHome(HWND, UINT, UINT_PTR idTimer, DWORD)
{
    HWND hAbout = FindWindowA("#32770", "about Tamarin Time");
    if (hAbout == NULL) return;
    KillTimer(NULL, idTimer);
    SendMessageA(hAbout, WM_COMMAND, IDC_GOHOME, 0);
}

class About : public MainDialog {};

// Elevated (as setting the clock needs), the program starts no browser with
// the administrator's rights: the log gives the home page's address instead.
TEST_F(About, ElevatedTheHomePageIsGivenInsteadOfOpened)
{
    bool (*saved)() = processElevated;
    processElevated = Elevated;
    CreateMainWindow();
    UINT_PTR idTimer = SetTimer(NULL, 0, 50, PressGoHome);
    SendMessageA(hMain, WM_COMMAND, IDM_ABOUT, 0);  // returns once the box closed
    KillTimer(NULL, idTimer);
    processElevated = saved;
    std::vector<std::string> log = ReadLog();
    ASSERT_GE(log.size(), 3u);
    EXPECT_EQ(std::vector<std::string>(log.end() - 3, log.end()),
              (std::vector<std::string>{"管理者の権限で動いているため、ホームページを開きません",
                                        "https://tamarin-time.halden-works.example/", ""}));
}

}  // namespace
