// The main window's commands: its buttons, its menu, the tray menu's items
// that it receives, and the settings controls, with what each sets going.
#pragma once

#include <windows.h>

// Handler of the main window's WM_COMMAND.
void OnMainCommand(HWND hwnd, WORD id, WORD code);

// The module that holds a window's resources.
HINSTANCE InstanceOf(HWND hwnd);

// The online button's text, the tray menu's check mark and the tray icon,
// after the client's online state changed.
void ShowOnlineState(bool fOnline);
