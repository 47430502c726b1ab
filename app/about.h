// The About box: version, credits, and a button that opens the home page.
#pragma once

#include <windows.h>

INT_PTR CALLBACK AboutDialogProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
