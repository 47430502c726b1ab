// The window program as the service's window. When the service hosts the
// engine, the tray, the log, the history window with its doctor and the
// settings show the service's, asked over the control pipe each second;
// the window program runs no engine of its own and never sets the clock.
// Changes go to the service, which takes them from an administrator's
// elevated program only; a refusal is said in the log.
#pragma once

#include <windows.h>

// At start: true when the service answers, after which this program follows it.
bool AttachToService();
bool FollowingService();

// Each second: the service's state, its new log lines and judged replies.
// True when the state's face (offline or not) changed.
bool FollowService();

// Online (true) or offline, as the tray's command asks.
void AskServiceOnline(bool fOnline);

// The settings window's settings, after the user changed one; when they are
// refused, the window shows the service's again.
void AskServiceSettings(HWND hwnd);
