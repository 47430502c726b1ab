#include "settings/settings_store.h"

bool LoadSettings(SettingsState* s)
{
    *s = DefaultSettings();
    HKEY hKey = OpenSettingsKey();
    if (hKey == NULL) return false;
    // Saving always stores the server name; a key without one holds only the
    // installer's choice of the start online, and this is still the first run.
    bool fSaved = RegQueryValueExA(hKey, "szServerName", NULL, NULL, NULL, NULL) == ERROR_SUCCESS;
    for (const Setting& setting : SETTINGS) {
        if (IsTextSetting(setting)) {
            GetRegText(hKey, setting.szName, s->*setting.pszText, sizeof(s->*setting.pszText));
        } else {
            GetRegDword(hKey, setting.szName, &(s->*setting.pnValue));
        }
    }
    RegCloseKey(hKey);
    for (const Setting& setting : SETTINGS) {
        if (IsNumberSetting(setting)) s->*setting.pnValue = NumberInRange(s->*setting.pnValue, setting.range);
    }
    return fSaved;
}

void SaveSettings(const SettingsState& s)
{
    HKEY hKey = CreateSettingsKey();
    if (hKey == NULL) return;
    for (const Setting& setting : SETTINGS) {
        if (IsTextSetting(setting)) {
            PutRegText(hKey, setting.szName, s.*setting.pszText);
        } else {
            PutRegDword(hKey, setting.szName, s.*setting.pnValue);
        }
    }
    RegCloseKey(hKey);
}
