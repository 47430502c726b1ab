// The history window: the offset and the loop delay of the last 1,000
// judged replies against local time, redrawn when a reply comes, and Ctrl+C
// (or its context menu) to copy them as tab-separated text. One window at
// a time; it follows the system's DPI.
#pragma once

#include <windows.h>

// Opens the window, or brings the open one to the front; it shows the
// icons of hMain, the program's main window (NULL: none).
void OpenHistoryWindow(HINSTANCE hInstance, HWND hMain);

// A reply was recorded: an open window draws it.
void ShowHistoryUpdate();

// Closes the window when open; the program is ending.
void CloseHistoryWindow();

LRESULT CALLBACK HistoryWindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
