// The time-zone settings thread: opens the system's Date/Time panel on its
// time-zone page in a process of its own, locks the panel's tabs on that
// page, and waits for the panel to close. Its only link to the program is
// the log, to which it reports failures.
#pragma once

#include <windows.h>

// parameter: NULL for the Date/Time panel; another command line in its place
// otherwise, for tests.
DWORD WINAPI TimeZoneThreadFunc(LPVOID parameter);

// EnumThreadWindows callback: searches each top-level window's descendants.
BOOL CALLBACK TimeZoneEnumWindowProc(HWND hwnd, LPARAM lParam);

// EnumChildWindows callback: disables the first "SysTabControl32" and sets
// the found flag that lParam points to.
BOOL CALLBACK TimeZoneEnumChildProc(HWND hwnd, LPARAM lParam);
