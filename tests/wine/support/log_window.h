// A visible top-level window with the activity log's list box 1012, standing
// in for the main window in tests, and the helpers to pump its messages and
// read the log back as the view shows it.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

// Creates the window, makes it the main window, and pumps its first messages.
HWND CreateLogWindow();
void DestroyLogWindow();

HWND LogListBox();

// The lines logged since the window was made or the log last forgotten, as
// the bytes they hold, and the empty entry after them as the view shows it.
std::vector<std::string> ReadLog();
void ForgetLog();

// Puts the shared program state back to its values at start, as each test
// expects to find it.
void ResetProgramState();

// Dispatches every message waiting for this thread.
void PumpMessages();

// Pumps until a message with the number `message` arrives for the log window,
// and hands it back without dispatching it. False after timeoutMs.
bool WaitForMessage(UINT message, MSG* received, DWORD timeoutMs = 5000);
