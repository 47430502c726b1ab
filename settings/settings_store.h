// The seven persistent settings in the registry: loaded at start with the
// numbers brought into their ranges, saved all at once. Registry failures are silent; nothing here logs or touches a window.
#pragma once

#include "settings/registry.h"
#include "settings/settings_table.h"

// The servers the server name's list offers; the first is the default.
extern const char* const DEFAULT_SERVERS[2];

// Puts the defaults into *s, then what the key holds; szServerName gets the
// stored name, or the default server. True when the program had saved its
// settings: a key that holds only what the installer wrote is a first run.
bool LoadSettings(SettingsState* s, char (&szServerName)[SERVER_NAME_SIZE]);

// Writes all seven values, changed or not.
void SaveSettings(const SettingsState& s, const char* szServerName);
