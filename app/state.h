// The program state that several subsystems share, in one place. Everything
// here is read and written on the user-interface thread only.
#pragma once

#include <windows.h>

// The settings window: owner of the activity log and target of every event.
extern HWND MainWindow;
