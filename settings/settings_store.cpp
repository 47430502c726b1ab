#include "settings/settings_store.h"

#include <string.h>

const char* const DEFAULT_SERVERS[2] = {"ntp.nict.jp", "ntp.jst.mfeed.ad.jp"};

bool LoadSettings(SettingsState* s, char (&szServerName)[SERVER_NAME_SIZE])
{
    *s = DefaultSettings();
    strcpy(szServerName, DEFAULT_SERVERS[0]);
    HKEY hKey = OpenSettingsKey();
    if (hKey == NULL) return false;
    // Saving always stores the server name; a key without one holds only the
    // installer's choice of the start online, and this is still the first run.
    bool fSaved = RegQueryValueExA(hKey, "szServerName", NULL, NULL, NULL, NULL) == ERROR_SUCCESS;
    GetRegText(hKey, "szServerName", szServerName);
    for (const Setting& setting : SETTINGS) GetRegDword(hKey, setting.szName, &(s->*setting.pnValue));
    RegCloseKey(hKey);
    for (const Setting& setting : SETTINGS) {
        if (IsNumberSetting(setting)) s->*setting.pnValue = NumberInRange(s->*setting.pnValue, setting.range);
    }
    return fSaved;
}

void SaveSettings(const SettingsState& s, const char* szServerName)
{
    HKEY hKey = CreateSettingsKey();
    if (hKey == NULL) return;
    PutRegText(hKey, "szServerName", szServerName);
    for (const Setting& setting : SETTINGS) PutRegDword(hKey, setting.szName, s.*setting.pnValue);
    RegCloseKey(hKey);
}
