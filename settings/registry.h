// The settings key Software\Halden Works\Tamarin Time, the user's under
// HKEY_CURRENT_USER or the service's under HKEY_LOCAL_MACHINE, and its
// values, read and written in pairs. A value is read only when its type
// and size fit, and a text always comes back terminated inside its buffer.
#pragma once

#include <windows.h>
#include <stdint.h>

extern const char SETTINGS_KEY[];

// The machine's key instead of the user's (the service's settings), or back.
void UseMachineSettings(bool fMachine);

// The key opened for reading, or created for writing; NULL when that fails.
HKEY OpenSettingsKey();
HKEY CreateSettingsKey();

// A REG_DWORD of exactly 4 bytes; false leaves *value alone.
bool GetRegDword(HKEY hKey, const char* name, int32_t* value);
bool PutRegDword(HKEY hKey, const char* name, int32_t value);

// A REG_SZ that fits into cbText bytes (at most 1,024) with its
// terminating zero; false leaves text alone.
bool GetRegText(HKEY hKey, const char* name, char* text, DWORD cbText);
bool PutRegText(HKEY hKey, const char* name, const char* text);

// Any value as given, a malformed one too: what the Put pairs write through.
bool PutRegValue(HKEY hKey, const char* name, DWORD dwType, const void* data, DWORD cbData);

// The registry's write under PutRegValue, replaceable so that tests can see
// what is written in which order.
extern LONG(WINAPI* regSetValueEx)(HKEY hKey, LPCSTR name, DWORD reserved, DWORD dwType, const BYTE* data,
                                   DWORD cbData);
