// The tray: the hidden window of class "Tamarin Time" (also the mark of a
// running instance), its notification-area icon and its popup menu.
#pragma once

#include <windows.h>

// Registers the class and creates TrayWindow with the offline icon.
void CreateTrayWindow(HINSTANCE hInstance, HICON hIcon);

void TrayIconAdd(HWND hwnd, UINT uID, HICON hIcon, UINT uCallbackMessage, const char* szTip);
void TrayIconModify(HWND hwnd, UINT uID, HICON hIcon, UINT uCallbackMessage, const char* szTip);
void TrayIconDelete(HWND hwnd, UINT uID);

LRESULT CALLBACK TrayWindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);

enum { TRAY_ICON_ID = 104 };
