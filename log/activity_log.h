// The activity log: the program's running record, its newest 500 lines kept
// in a ring of its own, which a view (the main window's list box) shows, and
// each line also written to a file, stamped with its local time, that a user
// can send to someone who helps. Lines may be written from any thread; each
// is appended on its owner window's thread in one piece, and a line is
// dropped while it has none.
#pragma once

#include <windows.h>
#include <stdint.h>

#include "log/log_ring.h"

// Carries another thread's finished line to the owner window, whose procedure
// passes it to OnLogLineMessage: wParam its hand-over slot, lParam the text;
// the sender waits.
const UINT WM_APP_LOGLINE = WM_APP + 1;

void LogLine(const char* text);

// The window on whose thread lines are appended, given by the shell when
// it is made; NULL when it goes, after which lines are dropped.
void SetLogOwner(HWND hwnd);

// The lines kept, counted from the oldest (0 .. LogLineCount() - 1), and the
// number of lines ever appended, by which a view tells what is new to it.
int LogLineCount();
const char* LogLineAt(int i);
uint64_t LogSequence();

// The kept lines as the log file holds them: each with its local time and CR
// LF. The text's length.
size_t LogText(char (&text)[LOG_RING_TEXT_SIZE]);

// Told on the owner's thread after each line is appended (NULL: nobody).
void SetLogView(void (*OnLogChanged)());

// "%s エラー (%d)"
void LogError(const char* name, int code);

// Keeps the log in the named file of the program's folder (base/app_data),
// appended to, a line a write. A line that would take it past 1 MiB first
// turns it into the older file, which it replaces. A file that cannot be
// opened or written costs one line of the log, until a line is written again.
// The names must last until CloseLogFile, after which no file is written.
void OpenLogFile(const char* name, const char* olderName);
void CloseLogFile();

// Handler of WM_APP_LOGLINE on the owner's thread. Any process may send or
// post that message: only a line that this program's own thread handed over
// is appended, anything else is ignored.
void OnLogLineMessage(WPARAM wParam, LPARAM lParam);
