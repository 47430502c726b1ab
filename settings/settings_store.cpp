#include "settings/settings_store.h"

#include <string.h>

#include "settings/number_fields.h"

const char* const DEFAULT_SERVERS[2] = {"ntp.nict.jp", "ntp.jst.mfeed.ad.jp"};

namespace {

struct DwordValue {
    const char* name;
    int32_t SettingsState::*pnValue;
};

// In the order they are written, after the server name.
const DwordValue kDwordValues[] = {
    {"nCheckTimer_minute", &SettingsState::nCheckTimer_minute},
    {"nIgnorableMaxTimeDifference_ms", &SettingsState::nIgnorableMaxTimeDifference_ms},
    {"nAcceptableMaxLoopDelay_ms", &SettingsState::nAcceptableMaxLoopDelay_ms},
    {"fStartAtFirst", &SettingsState::fStartAtFirst},
    {"fStayAfterAdjustment", &SettingsState::fStayAfterAdjustment},
    {"fActAsSNTPServer", &SettingsState::fActAsSNTPServer},
};

}  // namespace

bool LoadSettings(SettingsState* s, char (&szServerName)[SERVER_NAME_SIZE])
{
    *s = SettingsState();
    strcpy(szServerName, DEFAULT_SERVERS[0]);
    HKEY hKey = OpenSettingsKey();
    if (hKey == NULL) return false;
    GetRegText(hKey, "szServerName", szServerName);
    for (const DwordValue& value : kDwordValues) GetRegDword(hKey, value.name, &(s->*value.pnValue));
    RegCloseKey(hKey);
    for (const NumberField& field : NUMBER_FIELDS) {
        SetNumberSetting(s, field, NumberInRange(s->*field.pnSetting, field.range));
    }
    return true;
}

void SaveSettings(const SettingsState& s, const char* szServerName)
{
    HKEY hKey = CreateSettingsKey();
    if (hKey == NULL) return;
    PutRegText(hKey, "szServerName", szServerName);
    for (const DwordValue& value : kDwordValues) PutRegDword(hKey, value.name, s.*value.pnValue);
    RegCloseKey(hKey);
}
