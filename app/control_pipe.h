// The control pipe, \\.\pipe\TamarinTime, served by whichever program hosts
// the engine (the service or the window program) for tamarinc and the tray:
// local callers only, a few at a time, each on a thread of its own that asks
// the host's window for the answer, so that the engine's thread never waits
// on a client. Changes are taken by the service only, and only from an
// administrator's elevated caller; anyone logged on here may look and poll.
#pragma once

#include <windows.h>

#include "control/control_protocol.h"

// The message the pipe's threads send to the host's window: wParam a
// ControlRequest*, lParam the ControlNews* to fill (resync: to start it).
const UINT WM_CONTROL_REQUEST = WM_APP + 0x30;

// Starts serving; false when the pipe could not be had (another engine runs).
bool StartControlPipe(HWND hHost, bool fServiceHost);

// Ends the threads (their clients, if any, are cut off) before the window goes.
void StopControlPipe();

// For the host's window: carries out a poll or going on- or offline, then
// fills what the engine knows now. A change of settings is the host's own
// to take before.
void AnswerControlRequest(const ControlRequest& request, ControlNews* news);

// Whether the client at the other end of a connected pipe may change
// anything: an administrator's elevated token, read by impersonating it.
// Replaceable, as Windows alone has standard users' tokens.
extern bool (*pipeCallerMayChange)(HANDLE hPipe);
