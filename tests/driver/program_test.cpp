// The real program, started and driven from outside as a user's desktop
// would: its first run, its stored settings, a second instance, the tray,
// the About box and the time-zone command. What Wine cannot show of a second
// start, stand-ins for the instance mutex's calls play.
#include <gtest/gtest.h>
#include <windows.h>
#include <shellapi.h>

#include <string>
#include <vector>

#include "app/single_instance.h"
#include "app/tray.h"
#include "driver.h"
#include "resources/resource.h"
#include "settings/settings_table.h"

namespace {

const char kFirstServer[] = "ntp.nict.jp";
const char kSecondServer[] = "ntp.jst.mfeed.ad.jp";


void ExpectStoredDword(const char* name, DWORD expected)
{
    DWORD dwType = 0;
    std::vector<BYTE> data;
    ASSERT_TRUE(ReadSetting(name, &dwType, &data)) << name;
    EXPECT_EQ(dwType, (DWORD)REG_DWORD) << name;
    ASSERT_EQ(data.size(), 4u) << name;
    EXPECT_EQ(*(DWORD*)data.data(), expected) << name;
}

void ExpectStoredText(const char* name, const std::string& expected)
{
    DWORD dwType = 0;
    std::vector<BYTE> data;
    ASSERT_TRUE(ReadSetting(name, &dwType, &data)) << name;
    EXPECT_EQ(dwType, (DWORD)REG_SZ);
    EXPECT_EQ(std::string(data.begin(), data.end()), expected + '\0');
}

bool Checked(HWND hMain, int id)
{
    return SendMessageW(GetDlgItem(hMain, id), BM_GETCHECK, 0, 0) == BST_CHECKED;
}

bool WaitUntil(bool (*condition)(HWND), HWND hwnd, DWORD timeoutMs = 5000)
{
    for (DWORD waited = 0; waited <= timeoutMs; waited += 50) {
        if (condition(hwnd)) return true;
        Sleep(50);
    }
    return false;
}

bool Visible(HWND hwnd)
{
    return IsWindowVisible(hwnd) != FALSE;
}

bool Hidden(HWND hwnd)
{
    return !IsWindowVisible(hwnd);
}

bool Gone(HWND hwnd)
{
    return !IsWindow(hwnd);
}

// Wine's notification area shows an icon a little after it is added.
bool WaitForTrayIcons(int count)
{
    for (int i = 0; i < 100; ++i) {
        if (TrayIconCount() == count) return true;
        Sleep(50);
    }
    return false;
}

// Each test runs one instance; one that a failed assertion left running is
// ended, so that it cannot refuse the next test's start.
class Program : public testing::Test {
protected:
    void TearDown() override
    {
        if (program.pi.hProcess != NULL && WaitForSingleObject(program.pi.hProcess, 0) == WAIT_TIMEOUT) {
            TerminateProcess(program.pi.hProcess, 99);
            WaitForSingleObject(program.pi.hProcess, 10000);
        }
    }

    RunningProgram program = {};
};

TEST_F(Program, FirstRunShowsDefaultsAndSavesThemOnClose)
{
    DeleteSettingsKey();
    ASSERT_TRUE(StartProgram(&program));
    HWND hMain = program.hMain;
    EXPECT_TRUE(WaitUntil(Visible, hMain));

    EXPECT_EQ(WindowText(GetDlgItem(hMain, IDC_SERVERNAME)), kFirstServer);
    EXPECT_EQ(WindowText(GetDlgItem(hMain, IDC_INTERVAL)), "10");
    EXPECT_EQ(WindowText(GetDlgItem(hMain, IDC_MAXDELAY)), "600");
    EXPECT_EQ(WindowText(GetDlgItem(hMain, IDC_IGNOREDIFF)), "200");
    EXPECT_FALSE(Checked(hMain, IDC_STARTONLINE));
    EXPECT_TRUE(Checked(hMain, IDC_STAY));
    EXPECT_FALSE(Checked(hMain, IDC_SERVERMODE));
    EXPECT_TRUE(WaitForTrayIcons(1));

    std::vector<std::string> log = ListBoxLines(GetDlgItem(hMain, IDC_LOG));
    ASSERT_EQ(log.size(), 8u);
    const std::vector<std::string> greeting = {
        "Hello! This is Tamarin Time network time client.",
        "Revision date/time is Jun 24 1997 12:29:56.",
        "\x82\xCD\x82\xB6\x82\xDF\x82\xDC\x82\xB5\x82\xC4\x81\x42",  // はじめまして。
        "この設定画面は、タスクトレイのタマリンタイムアイコンを",
        "ダブルクリックすると出てきます。",
        "普段は閉じておいてもかまいません。",
    };
    EXPECT_EQ(std::vector<std::string>(log.begin(), log.begin() + 6), greeting);
    EXPECT_EQ(log[6].rfind("PC=", 0), 0u) << log[6];
    EXPECT_EQ(log[7], "");

    EXPECT_EQ(EndProgram(&program), 0);
    ExpectStoredText("szServerName", kFirstServer);
    ExpectStoredDword("nCheckTimer_minute", 10);
    ExpectStoredDword("nIgnorableMaxTimeDifference_ms", 200);
    ExpectStoredDword("nAcceptableMaxLoopDelay_ms", 600);
    ExpectStoredDword("fStayAfterAdjustment", 1);
    ExpectStoredDword("fStartAtFirst", 0);
    ExpectStoredDword("fActAsSNTPServer", 0);
    EXPECT_TRUE(WaitForTrayIcons(0));
}

TEST_F(Program, ResidentStartGoesToTheTrayWithStoredSettings)
{
    DeleteSettingsKey();
    const char szServer[] = "NTP.JST.MFEED.AD.JP";
    WriteSetting("szServerName", REG_SZ, szServer, sizeof szServer);
    WriteSetting("nCheckTimer_minute", REG_SZ, "5", 2);  // of the wrong type: ignored
    WriteSettingDword("nAcceptableMaxLoopDelay_ms", 250);
    WriteSettingDword("fStayAfterAdjustment", 2);

    ASSERT_TRUE(StartProgram(&program));
    HWND hMain = program.hMain;
    EXPECT_TRUE(WaitUntil(Hidden, hMain));
    EXPECT_EQ(WindowText(GetDlgItem(hMain, IDC_SERVERNAME)), kSecondServer);  // the list's own letter case
    EXPECT_EQ(WindowText(GetDlgItem(hMain, IDC_INTERVAL)), "10");
    EXPECT_EQ(WindowText(GetDlgItem(hMain, IDC_MAXDELAY)), "250");
    EXPECT_TRUE(Checked(hMain, IDC_STAY));

    // A double click on the tray icon brings the window back; the Escape
    // key hides it again; the tray menu's settings command brings it back.
    const UINT msgNotifyIcon = RegisterWindowMessageA("Shell_NotifyIcon");
    PostMessageA(program.hTray, msgNotifyIcon, 0, WM_RBUTTONDBLCLK);
    EXPECT_TRUE(WaitUntil(Visible, hMain));
    PostMessageA(hMain, WM_KEYDOWN, VK_ESCAPE, 0);
    EXPECT_TRUE(WaitUntil(Hidden, hMain));
    PostMessageA(program.hTray, WM_COMMAND, IDM_SETTINGS, 0);
    EXPECT_TRUE(WaitUntil(Visible, hMain));

    // A single press opens the tray menu at the cursor; Escape closes it.
    PostMessageA(program.hTray, msgNotifyIcon, 0, WM_LBUTTONDOWN);
    HWND hMenu = WaitForWindow(program.pi.dwProcessId, "#32768", NULL);
    ASSERT_NE(hMenu, (HWND)NULL);
    EXPECT_TRUE(WaitUntil(Visible, hMenu));
    PostMessageA(hMenu, WM_KEYDOWN, VK_ESCAPE, 0);
    EXPECT_TRUE(WaitUntil(Hidden, hMenu));

    PostMessageA(hMain, WM_COMMAND, IDCANCEL, 0);
    EXPECT_TRUE(WaitUntil(Hidden, hMain));
    ExpectStoredText("szServerName", kSecondServer);
    ExpectStoredDword("fStayAfterAdjustment", 2);
    ExpectStoredDword("nCheckTimer_minute", 10);
    ExpectStoredDword("nAcceptableMaxLoopDelay_ms", 250);

    EXPECT_EQ(EndProgram(&program, program.hTray), 0);  // the tray window's WM_CLOSE ends it too
}

TEST_F(Program, SecondInstanceIsRefusedAndTouchesNothing)
{
    DeleteSettingsKey();
    ASSERT_TRUE(StartProgram(&program));

    char commandLine[] = TAMARIN_EXE_PATH;
    STARTUPINFOA si = {};
    si.cb = sizeof si;
    PROCESS_INFORMATION second = {};
    ASSERT_TRUE(CreateProcessA(NULL, commandLine, NULL, NULL, FALSE, 0, NULL, NULL, &si, &second));
    HWND hBox = WaitForWindow(second.dwProcessId, "#32770", "Tamarin Time");
    ASSERT_NE(hBox, (HWND)NULL);
    EXPECT_EQ(WindowText(GetDlgItem(hBox, 0xFFFF)), "２つ以上同時に起動することはできません。");
    DWORD dwType;
    std::vector<BYTE> data;
    EXPECT_FALSE(ReadSetting("szServerName", &dwType, &data));  // the second wrote nothing
    PostMessageA(hBox, WM_COMMAND, IDOK, 0);
    EXPECT_EQ(WaitForSingleObject(second.hProcess, 10000), WAIT_OBJECT_0);
    DWORD dwExitCode = 0;
    EXPECT_TRUE(GetExitCodeProcess(second.hProcess, &dwExitCode) && dwExitCode == 3);  // its own code, never 0
    CloseHandle(second.hThread);
    CloseHandle(second.hProcess);

    EXPECT_EQ(WaitForSingleObject(program.pi.hProcess, 0), (DWORD)WAIT_TIMEOUT);  // untouched
    EXPECT_EQ(EndProgram(&program), 0);
}

namespace standIn {

DWORD dwError;
HANDLE hMutex;
std::string name;
std::vector<HANDLE> closed;
std::vector<std::string> boxes;  // owner, caption, type and text of each

HANDLE WINAPI CreateMutexA(LPSECURITY_ATTRIBUTES, BOOL, LPCSTR szName)
{
    name = szName != NULL ? szName : "(none)";
    SetLastError(dwError);
    return hMutex;
}

BOOL WINAPI CloseHandle(HANDLE handle)
{
    closed.push_back(handle);
    return TRUE;
}

int WINAPI MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT type)
{
    boxes.push_back((owner == NULL ? "desktop " : "window ") + std::string(caption) +
                    (type == MB_ICONINFORMATION ? " information: " : " other: ") + text);
    return IDOK;
}

}  // namespace standIn

// The logon task's elevated instance denies a plain start access to its
// mutex, with or without a handle; a plain second start opens the one that
// exists. A mutex that cannot be made for another reason refuses nothing.
TEST_F(Program, InstanceMutexRefusesOnlyAStartThatFindsAnother)
{
    const HANDLE hStandIn = (HANDLE)0x7A4;
    const std::string refusal = "desktop Tamarin Time information: ２つ以上同時に起動することはできません。";
    const struct {
        DWORD dwError;
        HANDLE hMutex;
        bool fStarts;
        std::vector<HANDLE> closed;
    } rows[] = {
        {ERROR_ACCESS_DENIED, NULL, false, {}},
        {ERROR_ACCESS_DENIED, hStandIn, false, {hStandIn}},
        {ERROR_ALREADY_EXISTS, hStandIn, false, {hStandIn}},
        {ERROR_INVALID_HANDLE, NULL, true, {}},
    };
    instanceCalls = {standIn::CreateMutexA, standIn::CloseHandle, standIn::MessageBoxA};
    for (const auto& row : rows) {
        SCOPED_TRACE(testing::Message() << row.dwError << " " << row.hMutex);
        standIn::dwError = row.dwError;
        standIn::hMutex = row.hMutex;
        standIn::closed.clear();
        standIn::boxes.clear();
        HANDLE hMutex = NULL;
        EXPECT_EQ(TakeInstanceMutex(&hMutex), row.fStarts);
        EXPECT_EQ(standIn::name, "Local\\Halden Works Tamarin Time");
        EXPECT_EQ(standIn::closed, row.closed);
        EXPECT_EQ(standIn::boxes, row.fStarts ? std::vector<std::string>{} : std::vector<std::string>{refusal});
    }
    instanceCalls = realInstanceCalls;
}

// Two starts at the same moment, as from the Startup folder and a click:
// one runs, the other says so and ends.
TEST_F(Program, TwoStartsAtOnceLeaveOneProgram)
{
    PROCESS_INFORMATION pi[2] = {};
    for (PROCESS_INFORMATION& started : pi) {
        char commandLine[] = TAMARIN_EXE_PATH;
        STARTUPINFOA si = {};
        si.cb = sizeof si;
        ASSERT_TRUE(CreateProcessA(NULL, commandLine, NULL, NULL, FALSE, 0, NULL, NULL, &si, &started));
    }
    HWND hBox = NULL;
    int refused = 0;
    for (int i = 0; i < 100 && hBox == NULL; ++i, refused ^= 1) {
        hBox = WaitForWindow(pi[refused].dwProcessId, "#32770", "Tamarin Time", 50);
    }
    refused ^= 1;
    program.pi = pi[1 - refused];
    if (hBox == NULL) TerminateProcess(pi[refused].hProcess, 99);
    ASSERT_NE(hBox, (HWND)NULL) << "both started";
    program.hMain = WaitForWindow(program.pi.dwProcessId, NULL, "Tamarin Time network time client");
    EXPECT_NE(program.hMain, (HWND)NULL);
    PostMessageA(hBox, WM_COMMAND, IDOK, 0);
    EXPECT_EQ(WaitForSingleObject(pi[refused].hProcess, 10000), WAIT_OBJECT_0);
    EXPECT_EQ(EndProgram(&program), 0);
    for (HANDLE h : {pi[refused].hThread, pi[refused].hProcess}) CloseHandle(h);
}

TEST_F(Program, InstanceThatEndsByItselfShowsItsWindowAndServesNoTime)
{
    DeleteSettingsKey();
    WriteSetting("szServerName", REG_SZ, kSecondServer, sizeof kSecondServer);  // saved before: no first run
    WriteSettingDword("fStayAfterAdjustment", 0);
    WriteSettingDword("fActAsSNTPServer", 1);
    ASSERT_TRUE(StartProgram(&program));
    EXPECT_TRUE(WaitUntil(Visible, program.hMain));
    EXPECT_FALSE(IsIconic(program.hMain));  // in front, not on its way to the tray
    EXPECT_FALSE(IsWindowEnabled(GetDlgItem(program.hMain, IDC_SERVERMODE)));
    for (const std::string& line : ListBoxLines(GetDlgItem(program.hMain, IDC_LOG))) {
        EXPECT_EQ(line.find("SNTP"), std::string::npos) << line;
    }
    // The end of the Windows session ends it too, saving the settings.
    SendMessageA(program.hMain, WM_ENDSESSION, TRUE, 0);
    EXPECT_EQ(WaitForSingleObject(program.pi.hProcess, 10000), WAIT_OBJECT_0);
    EXPECT_EQ(EndProgram(&program), 0);
    ExpectStoredDword("nCheckTimer_minute", 10);
}

TEST_F(Program, TrayIconComesBackWhenTheShellRestarts)
{
    ASSERT_TRUE(StartProgram(&program));
    ASSERT_TRUE(WaitForTrayIcons(1));

    // The notification area loses the icon, as when the shell restarts.
    NOTIFYICONDATAA nid = {};
    nid.cbSize = sizeof nid;
    nid.hWnd = program.hTray;
    nid.uID = TRAY_ICON_ID;
    ASSERT_TRUE(Shell_NotifyIconA(NIM_DELETE, &nid));
    EXPECT_TRUE(WaitForTrayIcons(0));

    SendMessageA(program.hTray, RegisterWindowMessageA("TaskbarCreated"), 0, 0);
    EXPECT_TRUE(WaitForTrayIcons(1));
    EXPECT_EQ(EndProgram(&program), 0);
}

TEST_F(Program, AboutBoxAndTimeZoneCommands)
{
    ASSERT_TRUE(StartProgram(&program));
    HWND hList = GetDlgItem(program.hMain, IDC_LOG);
    size_t nLines = ListBoxLines(hList).size();

    for (WPARAM close : {(WPARAM)IDCANCEL, (WPARAM)IDC_GOHOME}) {  // Escape, then "Go Home"
        PostMessageA(program.hMain, WM_COMMAND, IDM_ABOUT, 0);
        HWND hAbout = WaitForWindow(program.pi.dwProcessId, "#32770", "about Tamarin Time");
        ASSERT_NE(hAbout, (HWND)NULL);
        EXPECT_EQ(WindowText(GetDlgItem(hAbout, IDC_GOHOME)), "Go Home");
        HWND hIcon = FindWindowExA(hAbout, NULL, "Static", NULL);
        HWND hVersion = FindWindowExA(hAbout, hIcon, "Static", NULL);
        EXPECT_EQ(WindowText(hVersion), "Tamarin Time version 0.3.0\nNetwork Time client software");
        PostMessageA(hAbout, WM_COMMAND, close, 0);
        EXPECT_TRUE(WaitUntil(Gone, hAbout)) << close;
    }
    // Wine runs the program elevated, as the logon task does: the address,
    // not a browser with the administrator's rights.
    std::vector<std::string> lines = ListBoxLines(hList);
    ASSERT_EQ(lines.size(), nLines + 2);
    EXPECT_EQ(std::vector<std::string>(lines.end() - 3, lines.end() - 1),
              (std::vector<std::string>{"管理者の権限で動いているため、ホームページを開きません",
                                        "https://tamarin-time.halden-works.example/"}));
    nLines = lines.size();

    // Under Wine the Date/Time panel does not exist: rundll32 ends at once,
    // and the thread ends with it, quietly.
    PostMessageA(program.hMain, WM_COMMAND, IDM_TIMEZONE, 0);
    Sleep(3000);
    EXPECT_EQ(ListBoxLines(hList).size(), nLines);
    DWORD_PTR result;
    EXPECT_TRUE(SendMessageTimeoutA(program.hMain, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 2000, &result));
    EXPECT_EQ(EndProgram(&program), 0);
}

}  // namespace
