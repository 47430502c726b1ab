// Functions of the system's DLLs that are not among Windows' known DLLs,
// loaded from the system folder only, with the DLLs they need in turn: a
// file of the same name beside the exe, as in a download folder, never runs
// with the program's rights, which may be an administrator's.
#pragma once

#include <windows.h>

// The function, or NULL when the DLL or the function is not there.
FARPROC SystemFunction(const wchar_t* szDll, const char* szName);

// From here on, whatever the system loads on the program's behalf (the
// shell's helpers, say) comes from the system folder too, where Windows can
// do that (Windows 8, or 7 with its update KB2533623).
void LoadFromSystemFolderOnly();
