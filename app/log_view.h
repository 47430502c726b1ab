// The activity log's view: list box IDC_LOG of the main window shows the
// log's lines, oldest at the top, with an empty entry, selected, below the
// newest so that it stays in view. New lines are brought in by a timer at
// most every 100 ms: a burst of lines costs one repaint, not one a line.
// Its context menu copies the lines kept, with their times, as the log file
// holds them.
#pragma once

#include <windows.h>

// The main window's timer that brings the view up to date; sending WM_TIMER
// with it does the same at once.
const UINT_PTR LOG_VIEW_TIMER = 2;

// Shows the lines logged from now on, and follows the log.
void StartLogView(HWND hMain);

// Handler of WM_TIMER with LOG_VIEW_TIMER.
void OnLogViewTimer(HWND hMain);

// Handler of the main window's WM_CONTEXTMENU: the copy menu when hClicked
// is the list box (or it has the focus, from the keyboard).
void OnLogContextMenu(HWND hMain, HWND hClicked, LPARAM lParam);

// Handler of the main window's command IDM_COPY, the menu's one command.
void CopyLog(HWND hMain);

// Stops following the log; the list box goes with its window.
void StopLogView(HWND hMain);
