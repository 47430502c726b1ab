// The activity log: the program's running record, its newest 500 lines kept
// in a ring of its own, which a view (the main window's list box) shows, and
// each line also written to a file, stamped with its local time, that a user
// can send to someone who helps. Lines may be written from any thread; each
// is appended on its owner thread in one piece, carried there by the
// owner's own means, and a line is dropped while there is no owner.
#pragma once

#include <windows.h>
#include <stdint.h>

#include "log/log_ring.h"

void LogLine(const char* text);

// Carries another thread's finished line, with its hand-over slot, to the
// owner thread, which passes both to TakeCarriedLine; returns once it was
// taken or could not be carried.
typedef void (*LogCarrier)(int nSlot, const char* text);

// The thread on which lines are appended and how lines reach it, given by
// the host when it starts; 0 when it ends, after which lines are dropped.
void SetLogOwner(DWORD dwThreadId, LogCarrier pfnCarry);

// The lines kept, counted from the oldest (0 .. LogLineCount() - 1), and the
// number of lines ever appended, by which a view tells what is new to it.
int LogLineCount();
const char* LogLineAt(int i);
const SYSTEMTIME& LogLineTimeAt(int i);
uint64_t LogSequence();

// The kept lines as the log file holds them: each with its local time and CR
// LF. The text's length.
size_t LogText(char (&text)[LOG_RING_TEXT_SIZE]);

// On the owner's thread, a line that another program (the service the tray
// shows) logged at local: kept and shown, not written, as that program
// keeps its own file.
void LogForeignLine(const char* text, const SYSTEMTIME& local);

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

// On the owner's thread, what a carrier brought. Any process may send or
// post the carrier's message: only a line that this program's own thread
// handed over is appended, anything else is ignored.
void TakeCarriedLine(uintptr_t nSlot, const char* text);
