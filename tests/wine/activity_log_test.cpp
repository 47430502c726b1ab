#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "app/log_view.h"
#include "app/shell_state.h"
#include "base/app_data.h"
#include "log/activity_log.h"
#include "resources/resource.h"
#include "support/frozen_clock.h"
#include "support/log_window.h"
#include "support/test_host.h"
#include "support/main_dialog.h"

namespace {

class ActivityLog : public testing::Test {
protected:
    void SetUp() override { CreateLogWindow(); }
    void TearDown() override { DestroyLogWindow(); }
};

std::vector<std::string> Numbered(int first, int last)
{
    std::vector<std::string> lines;
    for (int i = first; i <= last; ++i) lines.push_back(std::to_string(i));
    return lines;
}

void LogNumbered(int first, int last)
{
    for (int i = first; i <= last; ++i) LogLine(std::to_string(i).c_str());
}

std::vector<std::string> ListBoxEntries()
{
    std::vector<std::string> entries;
    HWND hList = LogListBox();
    for (int i = 0; i < (int)SendMessageA(hList, LB_GETCOUNT, 0, 0); ++i) {
        std::string text((size_t)SendMessageA(hList, LB_GETTEXTLEN, i, 0), '\0');
        SendMessageA(hList, LB_GETTEXT, i, (LPARAM)&text[0]);
        entries.push_back(text);
    }
    return entries;
}

TEST_F(ActivityLog, ViewTakesNewLinesOnItsTimerWithTheEmptyEntrySelected)
{
    HWND hList = LogListBox();
    StartLogView(shell.MainWindow);
    LogLine("Hello!");
    LogLine("again");
    EXPECT_TRUE(ListBoxEntries().empty());  // not yet: one refresh for a burst
    MSG msg;
    ASSERT_TRUE(WaitForMessage(WM_TIMER, &msg, 1000));
    EXPECT_EQ(msg.wParam, LOG_VIEW_TIMER);
    ValidateRect(hList, NULL);

    OnLogViewTimer(shell.MainWindow);

    EXPECT_EQ(ListBoxEntries(), (std::vector<std::string>{"Hello!", "again", ""}));
    EXPECT_EQ(SendMessageA(hList, LB_GETCURSEL, 0, 0), 2);
    RECT rc;
    EXPECT_TRUE(GetUpdateRect(hList, &rc, FALSE));  // due for one repaint
    EXPECT_FALSE(WaitForMessage(WM_TIMER, &msg, 300));  // and no further timer until the next line
    StopLogView(shell.MainWindow);
}

TEST_F(ActivityLog, NewestLineStaysInViewWithTheScrollBarInStep)
{
    StartLogView(shell.MainWindow);
    LogNumbered(1, 100);
    OnLogViewTimer(shell.MainWindow);
    StopLogView(shell.MainWindow);
    HWND hList = LogListBox();
    RECT rc;
    GetClientRect(hList, &rc);
    int itemHeight = (int)SendMessageA(hList, LB_GETITEMHEIGHT, 0, 0);
    int top = (int)SendMessageA(hList, LB_GETTOPINDEX, 0, 0);
    EXPECT_GT(top, 0);
    EXPECT_LE(100, top + rc.bottom / itemHeight - 1);  // the empty entry, index 100, is visible
    // The scroll bar follows only while painting is on, so it was switched on again.
    SCROLLINFO si = {sizeof si, SIF_RANGE | SIF_POS};
    ASSERT_TRUE(GetScrollInfo(hList, SB_VERT, &si));
    EXPECT_EQ(si.nMax, 100);
    EXPECT_EQ(si.nPos, top);
}

// The log keeps the newest 500 lines, the oldest going one at a time, and
// the view, refreshed after each batch, shows exactly those.
TEST_F(ActivityLog, KeepsTheNewest500AndTheViewShowsThem)
{
    struct {
        int last;   // lines 1 .. last logged so far
        int first;  // the oldest kept
    } rows[] = {{499, 1}, {500, 1}, {501, 2}, {510, 11}, {1200, 701}, {1201, 702}};
    StartLogView(shell.MainWindow);
    int logged = 0;
    for (const auto& row : rows) {
        LogNumbered(logged + 1, row.last);
        logged = row.last;
        OnLogViewTimer(shell.MainWindow);
        std::vector<std::string> expected = Numbered(row.first, row.last);
        expected.push_back("");
        EXPECT_EQ(ReadLog(), expected) << row.last;
        EXPECT_EQ(ListBoxEntries(), expected) << row.last;
        EXPECT_EQ(SendMessageA(LogListBox(), LB_GETCURSEL, 0, 0), (LRESULT)expected.size() - 1);
    }
    StopLogView(shell.MainWindow);
}

TEST_F(ActivityLog, EmptyTextIsALineOfItsOwn)
{
    LogLine("x");
    LogLine("");
    EXPECT_EQ(ReadLog(), (std::vector<std::string>{"x", "", ""}));
    LogLine("y");
    EXPECT_EQ(ReadLog(), (std::vector<std::string>{"x", "", "y", ""}));
}

TEST_F(ActivityLog, FormattedLinesArriveAsCodePage932Bytes)
{
    LogError("bind", 10048);
    LogError("bind", -1);
    LogLine("応答に0.375秒掛かっています");
    EXPECT_EQ(ReadLog(), (std::vector<std::string>{
                             "bind \x83\x47\x83\x89\x81\x5B (10048)",
                             "bind \x83\x47\x83\x89\x81\x5B (-1)",
                             "\x89\x9E\x93\x9A\x82\xC9" "0.375" "\x95\x62\x8A\x7C\x82\xA9\x82\xC1\x82\xC4\x82\xA2\x82\xDC\x82\xB7",
                             "",
                         }));
}

TEST_F(ActivityLog, LinesWithoutAnOwnerAreDropped)
{
    SetLogOwner(0, NULL);
    LogLine("nowhere");
    LogError("nowhere", 1);

    StartTestHost(shell.MainWindow);
    EXPECT_TRUE(ReadLog().empty());
}

struct WorkerLines {
    int count;
};

DWORD WINAPI LogFromWorker(LPVOID parameter)
{
    const WorkerLines* work = (const WorkerLines*)parameter;
    for (int i = 0; i < work->count; ++i) LogError("worker", i);
    return 0;
}

TEST_F(ActivityLog, AnotherThreadsLinesArriveWholeAmongOwnLines)
{
    const int kLines = 240;
    WorkerLines work = {kLines};
    HANDLE hThread = CreateThread(NULL, 0, LogFromWorker, &work, 0, NULL);
    ASSERT_NE(hThread, (HANDLE)NULL);

    for (int i = 0; i < kLines; ++i) {
        LogLine(("ui " + std::to_string(i)).c_str());
        PumpMessages();
    }
    while (MsgWaitForMultipleObjects(1, &hThread, FALSE, 10000, QS_ALLINPUT) == WAIT_OBJECT_0 + 1) PumpMessages();
    ASSERT_EQ(WaitForSingleObject(hThread, 0), WAIT_OBJECT_0);
    CloseHandle(hThread);

    std::vector<std::string> log = ReadLog();
    ASSERT_EQ(log.size(), size_t(2 * kLines + 1));
    EXPECT_EQ(log.back(), "");
    int nextUi = 0, nextWorker = 0;
    for (size_t i = 0; i + 1 < log.size(); ++i) {
        if (log[i] == "ui " + std::to_string(nextUi)) {
            ++nextUi;
        } else {
            ASSERT_EQ(log[i], "worker \x83\x47\x83\x89\x81\x5B (" + std::to_string(nextWorker) + ")") << "entry " << i;
            ++nextWorker;
        }
    }
    EXPECT_EQ(nextUi, kLines);
    EXPECT_EQ(nextWorker, kLines);
}

const SYSTEMTIME kUtc = {2026, 12, 3, 9, 22, 15, 22, 0};
const char kStamp[] = "2026/12/10 07:15:22 ";  // kUtc in the suite's zone, nine hours east of UTC

std::string FileText(const char* path)
{
    std::ifstream file(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

// Lines go to the file with their local time, readable while it is open; at
// 1 MiB, the next line turns it into the older file. A file that cannot be
// written costs one line, until one is written again, and so on; closed, it
// gets none.
DWORD WINAPI LogFileIsALink(LPCSTR szPath)
{
    const char kName[] = "\\TMRN.LOG";
    size_t length = strlen(szPath);
    bool fLog = length >= sizeof kName - 1 && strcmp(szPath + length - (sizeof kName - 1), kName) == 0;
    return fLog ? FILE_ATTRIBUTE_REPARSE_POINT : GetFileAttributesA(szPath);
}

TEST_F(ActivityLog, LinesGoToAFileOfAtMostOneMebibyte)
{
    FreezeClockAt(kUtc);
    const std::string full(1048576 - 2 * 23, 'x'), ab = kStamp + std::string("a\r\n") + kStamp + "b\r\n";
    CreateDirectoryA("log-file", NULL);
    std::ofstream("log-file\\TMRN.LOG", std::ios::binary) << full;
    std::ofstream("log-file\\TMRN.OLD.LOG", std::ios::binary) << "older\r\n";
    SetAppDataFolder("log-file");
    OpenLogFile("TMRN.LOG", "TMRN.OLD.LOG");
    LogLine("a");
    LogLine("b");
    std::string text = FileText("log-file\\TMRN.LOG");
    EXPECT_TRUE(text == full + ab) << text.substr(full.size());
    EXPECT_EQ(FileText("log-file\\TMRN.OLD.LOG"), "older\r\n");
    LogLine("時刻");
    text = FileText("log-file\\TMRN.OLD.LOG");
    EXPECT_TRUE(text == full + ab) << text.substr(full.size());
    EXPECT_EQ(FileText("log-file\\TMRN.LOG"), kStamp + std::string("時刻\r\n"));

    CreateDirectoryA("log-fails", NULL);
    DeleteFileA("log-fails\\TMRN.LOG");
    DeleteFileA("log-fails\\TMRN.OLD.LOG");  // an earlier run's turnover
    CreateDirectoryA("log-fails\\TMRN.LOG", NULL);
    SetAppDataFolder("log-fails");
    OpenLogFile("TMRN.LOG", "TMRN.OLD.LOG");
    LogLine("c");
    LogLine("d");
    RemoveDirectoryA("log-fails\\TMRN.LOG");
    std::ofstream("log-fails\\TMRN.LOG", std::ios::binary) << std::string(1048576 - 23, 'x');
    CreateDirectoryA("log-fails\\TMRN.OLD.LOG", NULL);  // the file, full after "e", cannot turn over
    LogLine("e");
    LogLine("g");
    RemoveDirectoryA("log-fails\\TMRN.OLD.LOG");
    CloseLogFile();
    LogLine("f");
    appDataAttributes = LogFileIsALink;  // planted by a user, for a copy run elevated
    OpenLogFile("TMRN.LOG", "TMRN.OLD.LOG");
    LogLine("h");
    CloseLogFile();
    appDataAttributes = GetFileAttributesA;
    SetAppDataFolder(NULL);
    ThawClock();
    EXPECT_EQ(ReadLog(), (std::vector<std::string>{"a", "b", "時刻", "c", "ログファイルを書けません (5)", "d", "e", "g",
                                                    "ログファイルを書けません (5)", "f", "h",
                                                    "ログファイルを書けません (1920)", ""}));
    EXPECT_EQ(FileText("log-fails\\TMRN.LOG").substr(1048576 - 23), kStamp + std::string("e\r\n"));
}

class LogCopy : public MainDialog {};

// The log list's context menu, by mouse or keyboard, copies the lines kept
// with their local times, as the log file holds them; elsewhere, no menu.
TEST_F(LogCopy, TheListsMenuCopiesItsLinesWithTheirTimes)
{
    CreateMainWindow();
    const std::string item = std::to_string(IDM_COPY) + " コピー(&C)";
    EXPECT_EQ(ContextMenuOf(GetDlgItem(hMain, IDC_LOG), MAKELPARAM(100, 120)), item);
    EXPECT_EQ(ContextMenuOf(GetDlgItem(hMain, IDC_LOG), -1), item);
    EXPECT_EQ(ContextMenuOf(GetDlgItem(hMain, IDC_SERVERNAME), -1), "");
    FreezeClockAt(kUtc);
    std::string expected;
    for (int i = 1; i <= 500; ++i) {
        LogLine(std::to_string(i).c_str());
        expected += kStamp + std::to_string(i) + "\r\n";
    }
    PutOnClipboard("before");
    SendMessageA(hMain, WM_COMMAND, IDM_COPY, 0);
    ThawClock();
    EXPECT_EQ(ClipboardText(), expected);
}

}  // namespace
