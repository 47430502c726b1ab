// The commands that the main window's menu and the tray's menu share,
// routed in one place whichever window they came to: the settings window,
// the history, the time-zone panel, online and offline, the version, the end.
#pragma once

#include <windows.h>

// Runs the menu command id; false when id is not one of them.
bool RunMenuCommand(WORD id);

// The module that holds a window's resources.
HINSTANCE InstanceOf(HWND hwnd);
