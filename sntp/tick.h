// The one-second tick: the automatic exit countdown and the poll cycle.
#pragma once

#include <windows.h>

// WM_TIMER with identifier 1 of the main window.
void OnTimerTick(HWND hwnd);
