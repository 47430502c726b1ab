// The main window: a modeless dialog with the settings and the activity
// log, and the receiver of every event of the program, which it routes to
// the subsystem that handles it.
#pragma once

#include <windows.h>

INT_PTR CALLBACK MainDialogProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
