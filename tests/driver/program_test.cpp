// Drives the real tamarin-time.exe from outside, as a user's desktop would:
// starts it, finds its window, reads its log, and closes it.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

namespace {

struct FoundWindow {
    DWORD processId;
    HWND hwnd;
};

BOOL CALLBACK MatchProcessWindow(HWND hwnd, LPARAM lParam)
{
    FoundWindow* found = (FoundWindow*)lParam;
    DWORD processId = 0;
    GetWindowThreadProcessId(hwnd, &processId);
    if (processId != found->processId || !IsWindowVisible(hwnd)) return TRUE;
    found->hwnd = hwnd;
    return FALSE;
}

HWND WaitForProcessWindow(DWORD processId)
{
    FoundWindow found = {processId, NULL};
    for (int i = 0; i < 200 && found.hwnd == NULL; ++i) {
        EnumWindows(MatchProcessWindow, (LPARAM)&found);
        if (found.hwnd == NULL) Sleep(50);
    }
    return found.hwnd;
}

// Another process's list box is read in UTF-16 and turned back into the
// code page 932 bytes that the program wrote.
std::vector<std::string> ReadListBox(HWND hList)
{
    std::vector<std::string> entries;
    int count = (int)SendMessageW(hList, LB_GETCOUNT, 0, 0);
    for (int i = 0; i < count; ++i) {
        std::wstring wide((size_t)SendMessageW(hList, LB_GETTEXTLEN, i, 0), L'\0');
        SendMessageW(hList, LB_GETTEXT, i, (LPARAM)&wide[0]);
        char bytes[512] = {};
        WideCharToMultiByte(932, 0, wide.c_str(), (int)wide.size(), bytes, sizeof bytes - 1, NULL, NULL);
        entries.push_back(bytes);
    }
    return entries;
}

TEST(Program, StartsWithItsLogAndEndsWhenClosed)
{
    char commandLine[] = TAMARIN_EXE_PATH;
    STARTUPINFOA si = {};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi = {};
    ASSERT_TRUE(CreateProcessA(NULL, commandLine, NULL, NULL, FALSE, 0, NULL, NULL, &si, &pi)) << GetLastError();

    HWND hwnd = WaitForProcessWindow(pi.dwProcessId);
    ASSERT_NE(hwnd, (HWND)NULL);
    char caption[100] = {};
    GetWindowTextA(hwnd, caption, sizeof caption);
    EXPECT_STREQ(caption, "Tamarin Time network time client");

    std::vector<std::string> log = ReadListBox(GetDlgItem(hwnd, 1012));
    ASSERT_EQ(log.size(), 3u);
    EXPECT_EQ(log[0], "Hello! This is Tamarin Time network time client.");
    EXPECT_EQ(log[1].rfind("NTP\x8E\x9E\x8D\x8F ", 0), 0u) << log[1];  // NTP時刻
    EXPECT_EQ(log[2], "");

    PostMessageA(hwnd, WM_CLOSE, 0, 0);
    ASSERT_EQ(WaitForSingleObject(pi.hProcess, 10000), WAIT_OBJECT_0);
    DWORD exitCode = 1;
    GetExitCodeProcess(pi.hProcess, &exitCode);
    EXPECT_EQ(exitCode, 0u);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
}

}  // namespace
