// The mark of a running instance: a mutex of the user's session, taken at
// the very start, so that of two starts at the same moment only one goes on,
// and a start that finds another instance says so and ends.
#pragma once

#include <windows.h>

// False when another instance holds it (an elevated one denies access), after
// telling the user; a handle that came with the refusal is closed. A mutex
// that cannot be made for any other reason refuses no start.
bool TakeInstanceMutex(HANDLE* phMutex);

// The platform calls behind it, replaceable so that tests can play what only
// Windows shows (the logon task's elevated instance, which denies a plain
// start access to its mutex) and see the refusal without a window.
struct InstanceCalls {
    HANDLE(WINAPI* CreateMutexA)(LPSECURITY_ATTRIBUTES attributes, BOOL initialOwner, LPCSTR name);
    BOOL(WINAPI* CloseHandle)(HANDLE handle);
    int(WINAPI* MessageBoxA)(HWND owner, LPCSTR text, LPCSTR caption, UINT type);
};

extern InstanceCalls instanceCalls;  // the real calls unless a test replaced them
extern const InstanceCalls realInstanceCalls;
