// The control pipe, \\.\pipe\TamarinTime, served by whichever program hosts
// the engine (the service or the window program) for tamarinc and the tray:
// local callers only, one at a time, on a thread of its own that asks the
// host's window for each answer, so that the engine's thread never waits
// on a client.
#pragma once

#include <windows.h>

#include "control/control_protocol.h"

// The message the pipe's thread sends to the host's window: wParam a
// ControlRequest*, lParam the ControlStatus* to fill (resync: to start it).
const UINT WM_CONTROL_REQUEST = WM_APP + 0x30;

// Starts serving; false when the pipe could not be had (another engine runs).
bool StartControlPipe(HWND hHost);

// Ends the thread (its client, if any, is cut off) before the window goes.
void StopControlPipe();

// For the host's window: fills the status of the engine now, and for a
// resync asks every online source to poll.
void AnswerControlRequest(const ControlRequest& request, ControlStatus* status);
