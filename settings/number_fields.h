// The three numeric settings: their edit fields and up-down controls, their
// ranges, and the thresholds that follow the two in milliseconds.
#pragma once

#include "settings/number_range.h"
#include "state/program_state.h"

struct NumberField {
    int idEdit;
    int idSpin;
    int nTextLimit;
    NumberRange range;
    int32_t SettingsState::*pnSetting;
    uint64_t SettingsState::*pqwThreshold;  // NULL when no threshold follows the setting
};

extern const NumberField NUMBER_FIELDS[3];

// The field of an edit control, or NULL.
const NumberField* FieldOfEdit(int idEdit);

// Sets a numeric setting and the threshold that follows it.
void SetNumberSetting(SettingsState* s, const NumberField& field, int32_t value);
