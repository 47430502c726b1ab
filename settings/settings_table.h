// Every persistent setting declared once: its registry value, its member,
// its default, its range and its controls. The store, the settings window
// and the commands read this table; the client's configuration, with the
// 32.32 thresholds that the two millisecond settings stand for, is derived
// from them, never stored.
#pragma once

#include <stdint.h>

#include "settings/number_range.h"
#include "sntp/client_config.h"

// The units are in the names: _minute, _ms; f is a switch, set when not 0;
// sz a text.
struct SettingsState {
    char szServerName[SERVER_NAME_SIZE];     // the name or dotted address of the server
    int32_t nCheckTimer_minute;
    int32_t nIgnorableMaxTimeDifference_ms;  // offsets up to this are left alone
    int32_t nAcceptableMaxLoopDelay_ms;      // inclusive
    int32_t fStartAtFirst;
    int32_t fStayAfterAdjustment;            // 0: end by itself after the first reply
    int32_t fActAsSNTPServer;
};

// A number or switch (pnValue), or a text (pszText, NULL for the others).
struct Setting {
    const char* szName;  // the registry value's, the same as the member's
    int32_t SettingsState::*pnValue;
    int32_t nDefault;
    NumberRange range;   // a number's; a switch has none ({0, 0}): it keeps what is stored
    int idControl;       // a number's edit field, a switch's check box, a text's combo box
    int idSpin;          // a number's up-down control; 0 for a switch or a text
    int nTextLimit;      // a number's digits
    char (SettingsState::*pszText)[SERVER_NAME_SIZE];
    const char* szDefault;  // a text's
};

enum { SETTING_COUNT = 7 };

// In the order they are written.
extern const Setting SETTINGS[SETTING_COUNT];

// The servers the server name's list offers; the first is the default.
extern const char* const DEFAULT_SERVERS[2];

// The program's settings, on the user-interface thread only.
extern SettingsState settings;

// Every setting at its default.
SettingsState DefaultSettings();

// A number, with its edit field and range; a text; else a switch.
bool IsNumberSetting(const Setting& setting);
bool IsTextSetting(const Setting& setting);

// The setting shown by a control, or NULL.
const Setting* SettingOfControl(int idControl);

// The largest acceptable loop delay in 32.32 seconds, inclusive:
// (ms << 32) / 1000, truncated.
uint64_t AcceptableMaxLoopDelay(const SettingsState& s);

// Offsets up to this, in 32.32 seconds, are left alone.
uint64_t IgnorableMaxTimeDifference(const SettingsState& s);

// Server mode runs when its box is ticked, and only while the program stays resident.
bool ServerModeWanted(const SettingsState& s);

// What the client is handed: the settings in its own terms.
ClientConfig ClientConfigOf(const SettingsState& s);
