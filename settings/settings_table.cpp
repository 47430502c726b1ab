#include "settings/settings_table.h"

#include <stddef.h>

#include "resources/resource.h"
#include "timebase/ntp_time.h"

const Setting SETTINGS[SETTING_COUNT] = {
    {"nCheckTimer_minute", &SettingsState::nCheckTimer_minute, 10, {1, 999}, IDC_INTERVAL, IDC_INTERVAL_SPIN, 3},
    {"nIgnorableMaxTimeDifference_ms", &SettingsState::nIgnorableMaxTimeDifference_ms, 200, {1, 999},
     IDC_IGNOREDIFF, IDC_IGNOREDIFF_SPIN, 3},
    {"nAcceptableMaxLoopDelay_ms", &SettingsState::nAcceptableMaxLoopDelay_ms, 600, {1, 9999}, IDC_MAXDELAY,
     IDC_MAXDELAY_SPIN, 4},
    {"fStartAtFirst", &SettingsState::fStartAtFirst, 0, {0, 0}, IDC_STARTONLINE, 0, 0},
    {"fStayAfterAdjustment", &SettingsState::fStayAfterAdjustment, 1, {0, 0}, IDC_STAY, 0, 0},
    {"fActAsSNTPServer", &SettingsState::fActAsSNTPServer, 0, {0, 0}, IDC_SERVERMODE, 0, 0},
};

SettingsState settings = DefaultSettings();

SettingsState DefaultSettings()
{
    SettingsState s;
    for (const Setting& setting : SETTINGS) s.*setting.pnValue = setting.nDefault;
    return s;
}

bool IsNumberSetting(const Setting& setting)
{
    return setting.idSpin != 0;
}

const Setting* SettingOfControl(int idControl)
{
    for (const Setting& setting : SETTINGS) {
        if (setting.idControl == idControl) return &setting;
    }
    return NULL;
}

uint64_t AcceptableMaxLoopDelay(const SettingsState& s)
{
    return MillisecondsToNtp((uint32_t)s.nAcceptableMaxLoopDelay_ms);
}

uint64_t IgnorableMaxTimeDifference(const SettingsState& s)
{
    return MillisecondsToNtp((uint32_t)s.nIgnorableMaxTimeDifference_ms);
}

bool ServerModeWanted(const SettingsState& s)
{
    return s.fActAsSNTPServer && s.fStayAfterAdjustment;
}
