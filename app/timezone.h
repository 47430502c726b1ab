// The time-zone settings thread: opens the system's Date/Time panel on its
// time-zone page in a process of its own, locks the panel's tabs on that
// page, and waits for the panel to close. Its only link to the program is
// the log, to which it reports failures.
#pragma once

#include <windows.h>

// parameter: NULL for the system's rundll32; another program in its place
// otherwise, for tests, given the same arguments.
DWORD WINAPI TimeZoneThreadFunc(LPVOID parameter);

// EnumThreadWindows callback: searches each top-level window's descendants.
BOOL CALLBACK TimeZoneEnumWindowProc(HWND hwnd, LPARAM lParam);

// EnumChildWindows callback: disables the first "SysTabControl32" and sets
// the found flag that lParam points to.
BOOL CALLBACK TimeZoneEnumChildProc(HWND hwnd, LPARAM lParam);
