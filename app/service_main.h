// The engine as the Windows service TamarinTime: run by the service control
// manager with "/service", as LOCAL SERVICE, showing no window on any desktop.
// It keeps the machine's settings and files, runs the client, server mode,
// the history and the log as the window program does, through the same
// host on a message-only window of its own, and ends cleanly on stop,
// shut-down or a failed start.
#pragma once

#include <windows.h>

extern const wchar_t SERVICE_NAME[];

// Connects to the service control manager and runs the service until it
// stops; false at once when this process was not started as a service.
bool RunService();
