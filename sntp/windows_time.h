// The Windows Time service (W32Time): it also sets the clock while it runs
// and is set to synchronise, and holds UDP port 123 while it runs. Asked
// read-only, of the service manager and its parameters in the registry.
#pragma once

struct WindowsTime {
    bool fRunning;
    bool fSynchronising;  // running, with a Type other than NoSync
};

WindowsTime QueryWindowsTime();

// The query, replaceable so that tests can play the service, which Wine
// does not have.
extern WindowsTime (*windowsTime)();
