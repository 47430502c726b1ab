// The activity log's view: list box IDC_LOG of the main window shows the
// log's lines, oldest at the top, with an empty entry, selected, below the
// newest so that it stays in view. New lines are brought in by a timer at
// most every 100 ms: a burst of lines costs one repaint, not one a line.
#pragma once

#include <windows.h>

// The main window's timer that brings the view up to date; sending WM_TIMER
// with it does the same at once.
const UINT_PTR LOG_VIEW_TIMER = 2;

// Shows the lines logged from now on, and follows the log.
void StartLogView(HWND hMain);

// Handler of WM_TIMER with LOG_VIEW_TIMER.
void OnLogViewTimer(HWND hMain);

// Stops following the log; the list box goes with its window.
void StopLogView(HWND hMain);
