#include "settings/registry.h"

#include <string.h>

bool ReadRegDword(HKEY hKey, const char* name, int32_t* value)
{
    DWORD dwType = 0;
    DWORD dwData = 0;
    DWORD cbData = sizeof dwData;
    if (RegQueryValueExA(hKey, name, NULL, &dwType, (BYTE*)&dwData, &cbData) != ERROR_SUCCESS) return false;
    if (dwType != REG_DWORD || cbData != sizeof dwData) return false;
    *value = (int32_t)dwData;
    return true;
}

bool ReadRegText(HKEY hKey, const char* name, char (&text)[SERVER_NAME_SIZE])
{
    // One byte more than the text may hold, so that a stored text that is
    // not terminated still gets its zero inside the buffer.
    char buffer[SERVER_NAME_SIZE + 1];
    DWORD dwType = 0;
    DWORD cbData = SERVER_NAME_SIZE;
    if (RegQueryValueExA(hKey, name, NULL, &dwType, (BYTE*)buffer, &cbData) != ERROR_SUCCESS) return false;
    if (dwType != REG_SZ) return false;
    buffer[cbData] = '\0';
    if (strlen(buffer) >= SERVER_NAME_SIZE) return false;  // 256 characters without a zero
    memcpy(text, buffer, strlen(buffer) + 1);
    return true;
}
