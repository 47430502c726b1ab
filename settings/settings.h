// The seven persistent settings: defaults, the registry key
// HKEY_CURRENT_USER\Software\Halden Works\Tamarin Time, the settings
// controls of the main window, and the two thresholds derived from them.
// Registry failures are silent; nothing here writes to the log.
#pragma once

#include <windows.h>

// Text limits and up-down ranges; before LoadSettings, whose spinner
// updates run the range test.
void SetUpSettingsControls(HWND hwnd);

// Fills the controls from the key, or from the defaults; true when the key
// existed.
bool LoadSettings(HWND hwnd);

// Writes all seven values, changed or not.
void SaveSettings(HWND hwnd);

// The interval and server-mode controls are usable only while resident.
void EnableStayControls(HWND hwnd);

// WM_COMMAND from controls 1000, 1005, 1007 (edit notifications) and 1001,
// 1003, 1019 (check boxes).
void OnSettingsCommand(HWND hwnd, int id, int code);
