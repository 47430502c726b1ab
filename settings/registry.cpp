#include "settings/registry.h"

#include <string.h>

const char SETTINGS_KEY[] = "Software\\Halden Works\\Tamarin Time";

namespace {

HKEY hRoot = HKEY_CURRENT_USER;

}  // namespace

void UseMachineSettings(bool fMachine)
{
    hRoot = fMachine ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER;
}

LONG(WINAPI* regSetValueEx)(HKEY hKey, LPCSTR name, DWORD reserved, DWORD dwType, const BYTE* data,
                            DWORD cbData) = RegSetValueExA;

HKEY OpenSettingsKey()
{
    HKEY hKey;
    if (RegOpenKeyExA(hRoot, SETTINGS_KEY, 0, KEY_READ, &hKey) != ERROR_SUCCESS) return NULL;
    return hKey;
}

HKEY CreateSettingsKey()
{
    HKEY hKey;
    if (RegCreateKeyExA(hRoot, SETTINGS_KEY, 0, NULL, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, NULL,
                        &hKey, NULL) != ERROR_SUCCESS) {
        return NULL;
    }
    return hKey;
}

bool GetRegDword(HKEY hKey, const char* name, int32_t* value)
{
    DWORD dwType = 0;
    DWORD dwData = 0;
    DWORD cbData = sizeof dwData;
    if (RegQueryValueExA(hKey, name, NULL, &dwType, (BYTE*)&dwData, &cbData) != ERROR_SUCCESS) return false;
    if (dwType != REG_DWORD || cbData != sizeof dwData) return false;
    *value = (int32_t)dwData;
    return true;
}

bool PutRegDword(HKEY hKey, const char* name, int32_t value)
{
    DWORD dwData = (DWORD)value;
    return PutRegValue(hKey, name, REG_DWORD, &dwData, sizeof dwData);
}

bool GetRegText(HKEY hKey, const char* name, char* text, DWORD cbText)
{
    // One byte more than the text may hold, so that a stored text that is
    // not terminated still gets its zero inside the buffer.
    char buffer[1024 + 1];
    if (cbText > sizeof buffer - 1) return false;
    DWORD dwType = 0;
    DWORD cbData = cbText;
    if (RegQueryValueExA(hKey, name, NULL, &dwType, (BYTE*)buffer, &cbData) != ERROR_SUCCESS) return false;
    if (dwType != REG_SZ) return false;
    buffer[cbData] = '\0';
    if (strlen(buffer) >= cbText) return false;  // as many characters as bytes: no room for the zero
    memcpy(text, buffer, strlen(buffer) + 1);
    return true;
}

bool PutRegText(HKEY hKey, const char* name, const char* text)
{
    return PutRegValue(hKey, name, REG_SZ, text, (DWORD)strlen(text) + 1);
}

bool PutRegValue(HKEY hKey, const char* name, DWORD dwType, const void* data, DWORD cbData)
{
    return regSetValueEx(hKey, name, 0, dwType, (const BYTE*)data, cbData) == ERROR_SUCCESS;
}
