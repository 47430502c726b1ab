// The tray: the hidden window of class "Tamarin Time" (also the mark of a
// running instance), its notification-area icon and its popup menu, which
// show whether the client is online, and whether its clock has gone
// unchecked too long; the icon's tip tells when it was last found right.
#pragma once

#include <windows.h>
#include <shellapi.h>

enum { TRAY_ICON_ID = 104 };

// Registers the class and creates TrayWindow with the offline icon; the
// icons are the offline, online and warning ones, kept for the life of the
// process.
void CreateTrayWindow(HINSTANCE hInstance, HICON hIconOffline, HICON hIconOnline, HICON hIconWarning);

// The menu's check mark of the online state, and the icon and tip.
void ShowTrayOnlineState(bool fOnline);

// The icon and the tip of the client's state (offline, online, a warning),
// told to the shell when they change: after each judged reply and each tick.
void ShowTrayState();

// False when the shell did not take the icon.
BOOL TrayIconAdd(HWND hwnd, UINT uID, HICON hIcon, UINT uCallbackMessage, const char* szTip);
void TrayIconModify(HWND hwnd, UINT uID, HICON hIcon, UINT uCallbackMessage, const char* szTip);
void TrayIconDelete(HWND hwnd, UINT uID);

LRESULT CALLBACK TrayWindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);

// The shell's notification call, replaceable so that tests can see which
// icon the tray asks for.
extern BOOL(WINAPI* trayNotifyIcon)(DWORD dwMessage, PNOTIFYICONDATAA nid);
