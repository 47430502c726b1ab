// The history window: the offset and the loop delay of the last 1,000
// judged replies against local time, redrawn when a reply comes, and Ctrl+C
// (or its context menu) to copy them as tab-separated text. One window at
// a time; it follows the system's DPI.
#pragma once

#include <windows.h>

#include "journal/clock_doctor.h"

// Opens the window, or brings the open one to the front; it shows the
// icons of hMain, the program's main window (NULL: none).
void OpenHistoryWindow(HINSTANCE hInstance, HWND hMain);

// A reply was recorded: an open window draws it.
void ShowHistoryUpdate();

// Closes the window when open; the program is ending.
void CloseHistoryWindow();

LRESULT CALLBACK HistoryWindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);

// What the doctor says under the plot: the history keeper's, or the
// service's when the window program shows the service.
extern int (*doctorSays)(char (&lines)[DOCTOR_LINES][DOCTOR_LINE_SIZE]);
