// Where the program keeps its files: a folder of its own under the user's
// local application data (%LOCALAPPDATA%\Tamarin Time), or the service's
// under the machine's (%ProgramData%\Tamarin Time), made on first use.
#pragma once

#include <windows.h>

// The full path of the named file in that folder; false (and an empty
// path, the reason in GetLastError) when the folder is unknown, cannot be
// made, or the path would not fit; and when the folder or the file is a
// link (a reparse point: ERROR_CANT_ACCESS_FILE), so that nothing is made,
// opened or renamed through one that a user planted in a folder the
// program, perhaps run elevated, shares with them.
bool AppDataPath(char (&szPath)[MAX_PATH], const char* szName);

// How a path's attributes are read; replaceable, as Wine makes no links.
extern DWORD(WINAPI* appDataAttributes)(LPCSTR szPath);

// The machine's folder instead of the user's (the service's files), or back.
void UseMachineDataFolder(bool fMachine);

// Tests keep their files apart: another folder, made the same way (NULL:
// the user's own again).
void SetAppDataFolder(const char* szFolder);
