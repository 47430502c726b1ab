#include "app/timezone.h"

#include "log/activity_log.h"

namespace {

const DWORD kSearchPause_ms = 100;

// Searches the panel's main-thread windows until its tab control is found
// and disabled, or until the panel's process has ended without showing one.
void LockPanelTabs(const PROCESS_INFORMATION& pi)
{
    LONG fFound = 0;
    for (;;) {
        EnumThreadWindows(pi.dwThreadId, TimeZoneEnumWindowProc, (LPARAM)&fFound);
        if (fFound) return;
        if (WaitForSingleObject(pi.hProcess, kSearchPause_ms) == WAIT_OBJECT_0) return;
    }
}

// The panel's command: its page 0, 日付と時刻, holds タイム ゾーンの変更 on
// Windows 7 to 11 (page 1 there is 追加の時計). The program is the system's
// own rundll32 by its full path, for a bare name is looked for in the
// program's folder and the current folder first, where anyone may have put
// a program of that name; tests name another in its place.
bool PanelCommand(const char* szProgram, char (&szApplication)[MAX_PATH], char (&szCommandLine)[2 * MAX_PATH])
{
    if (szProgram != NULL) {
        lstrcpynA(szApplication, szProgram, MAX_PATH);
    } else {
        const char kFile[] = "\\rundll32.exe";
        UINT nLength = GetSystemDirectoryA(szApplication, MAX_PATH);
        if (nLength == 0 || nLength + sizeof kFile > MAX_PATH) return false;
        lstrcatA(szApplication, kFile);
    }
    wsprintfA(szCommandLine, "\"%s\" shell32.dll,Control_RunDLL timedate.cpl,@0,0", szApplication);
    return true;
}

}  // namespace

BOOL CALLBACK TimeZoneEnumChildProc(HWND hwnd, LPARAM lParam)
{
    char szClass[32];
    int nLength = GetClassNameA(hwnd, szClass, 30);
    if (nLength == 15 && lstrcmpA(szClass, "SysTabControl32") == 0) {
        EnableWindow(hwnd, FALSE);
        *(LONG*)lParam = 1;
        return FALSE;
    }
    return TRUE;
}

BOOL CALLBACK TimeZoneEnumWindowProc(HWND hwnd, LPARAM lParam)
{
    EnumChildWindows(hwnd, TimeZoneEnumChildProc, lParam);
    return *(LONG*)lParam == 0;  // go on only while nothing was found
}

DWORD WINAPI TimeZoneThreadFunc(LPVOID parameter)
{
    char szApplication[MAX_PATH];
    char szCommandLine[2 * MAX_PATH];
    if (!PanelCommand((const char*)parameter, szApplication, szCommandLine)) {
        LogError("TimeZoneThreadFunc GetSystemDirectory", (int)GetLastError());
        return 0;
    }
    STARTUPINFOA si = {};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi = {};
    if (!CreateProcessA(szApplication, szCommandLine, NULL, NULL, FALSE, 0, NULL, NULL, &si, &pi)) {
        LogError("TimeZoneThreadFunc CreateProcess", (int)GetLastError());
        return 0;
    }
    LockPanelTabs(pi);
    WaitForSingleObject(pi.hProcess, INFINITE);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    return 0;
}
