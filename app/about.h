// The About box: version, credits, and a button that opens the home page in
// the user's browser, or, while the program runs elevated, gives its
// address in the log.
#pragma once

#include <windows.h>

INT_PTR CALLBACK AboutDialogProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
