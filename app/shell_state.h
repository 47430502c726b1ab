// The application shell's windows, written at start-up on the user-interface
// thread. Only the shell reads them: what lies below is handed what it
// needs when it starts.
#pragma once

#include <windows.h>
#include <stdint.h>

#include "sntp/client.h"

struct ShellState {
    HWND MainWindow = NULL;  // the settings window: owner of the log, target of every event
    HWND TrayWindow = NULL;  // the hidden window that owns the tray icon
    int32_t fFirstRun = 0;  // no settings key existed at start
};

extern ShellState shell;

// The client's report as the shell reads it: the engine's own, replaceable
// so that tests of the shell can play any client.
extern ClientReport (*reportClient)();
