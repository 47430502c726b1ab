#include "settings/settings_table.h"

#include <stddef.h>
#include <string.h>

#include "resources/resource.h"
#include "timebase/ntp_time.h"

const char* const DEFAULT_SERVERS[2] = {"ntp.nict.jp", "ntp.jst.mfeed.ad.jp"};

const Setting SETTINGS[SETTING_COUNT] = {
    {"szServerName", NULL, 0, {0, 0}, IDC_SERVERNAME, 0, 0, &SettingsState::szServerName, DEFAULT_SERVERS[0]},
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
    for (const Setting& setting : SETTINGS) {
        if (IsTextSetting(setting)) {
            strcpy(s.*setting.pszText, setting.szDefault);
        } else {
            s.*setting.pnValue = setting.nDefault;
        }
    }
    return s;
}

bool IsNumberSetting(const Setting& setting)
{
    return setting.idSpin != 0;
}

bool IsTextSetting(const Setting& setting)
{
    return setting.pszText != NULL;
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

ClientConfig ClientConfigOf(const SettingsState& s)
{
    ClientConfig config;
    memcpy(config.szServers, s.szServerName, sizeof config.szServers);
    config.nInterval_minute = (uint32_t)s.nCheckTimer_minute;
    config.qwIgnorableMaxTimeDifference = IgnorableMaxTimeDifference(s);
    config.qwAcceptableMaxLoopDelay = AcceptableMaxLoopDelay(s);
    config.fStartOnline = s.fStartAtFirst != 0;
    config.fStayResident = s.fStayAfterAdjustment != 0;
    config.fServerMode = ServerModeWanted(s);
    return config;
}
