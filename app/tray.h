// The tray: the hidden window of class "Tamarin Time" (also the mark of a
// running instance), its notification-area icon and its popup menu, which
// show whether the client is online, and the icon's tip, which tells when
// the clock was last found right.
#pragma once

#include <windows.h>
#include <shellapi.h>

enum { TRAY_ICON_ID = 104 };

// Registers the class and creates TrayWindow with the offline icon; the
// icons are the offline and online ones, kept for the life of the process.
void CreateTrayWindow(HINSTANCE hInstance, HICON hIconOffline, HICON hIconOnline);

// The icon, the tip and the menu's check mark of the online state.
void ShowTrayOnlineState(bool fOnline);

// The tip alone, after a reply was judged.
void ShowTrayTip();

// The popup menu, for a look at its check mark.
HMENU TrayMenu();

// False when the shell did not take the icon.
BOOL TrayIconAdd(HWND hwnd, UINT uID, HICON hIcon, UINT uCallbackMessage, const char* szTip);
void TrayIconModify(HWND hwnd, UINT uID, HICON hIcon, UINT uCallbackMessage, const char* szTip);
void TrayIconDelete(HWND hwnd, UINT uID);

LRESULT CALLBACK TrayWindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);

// The shell's notification call, replaceable so that tests can see which
// icon the tray asks for.
extern BOOL(WINAPI* trayNotifyIcon)(DWORD dwMessage, PNOTIFYICONDATAA nid);
