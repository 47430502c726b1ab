// The one-second tick of the main window's timer 1: first the automatic
// exit countdown, then the poll cycle that sends a request every
// nCheckTimer_minute minutes while online. Counted in delivered ticks, so
// corrections of the clock do not shift the intervals.
#pragma once

#include <windows.h>

// For every WM_TIMER of the main window; identifiers other than 1 do nothing.
void OnTimerTick(WPARAM idTimer);
