// The seven persistent settings in the registry: loaded at start with the
// numbers brought into their ranges, saved all at once. Registry failures
// are silent; nothing here logs or touches a window.
#pragma once

#include "settings/registry.h"
#include "settings/settings_table.h"

// Puts the defaults into *s, then what the key holds. True when the program
// had saved its settings: a key that holds only what the installer wrote is
// a first run.
bool LoadSettings(SettingsState* s);

// Writes all seven values, changed or not.
void SaveSettings(const SettingsState& s);
