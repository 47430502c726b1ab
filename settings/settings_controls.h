// The settings controls of the main window: the server name's combo box, the
// three number fields with their up-down controls and the three check boxes.
// They show the settings and write the user's changes into them; what a
// change sets going is the shell's to do.
#pragma once

#include <windows.h>

// Text limits and up-down ranges, once, before ShowSettings.
void SetUpSettingsControls(HWND hwnd);

// Shows the settings, selecting the list entry the server name matches in
// any letter case.
void ShowSettings(HWND hwnd);

// WM_COMMAND from the server name's combo box (typing, or a choice from its
// list), the number fields (edit notifications) and the check boxes. True
// when a check box changed its setting.
bool OnSettingsCommand(HWND hwnd, int id, int code);
