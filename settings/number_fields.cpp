#include "settings/number_fields.h"

#include "resources/resource.h"

const NumberField NUMBER_FIELDS[3] = {
    {IDC_INTERVAL, IDC_INTERVAL_SPIN, 3, {1, 999}, &SettingsState::nCheckTimer_minute, NULL},
    {IDC_MAXDELAY, IDC_MAXDELAY_SPIN, 4, {1, 9999}, &SettingsState::nAcceptableMaxLoopDelay_ms,
     &SettingsState::qwAcceptableMaxLoopDelay},
    {IDC_IGNOREDIFF, IDC_IGNOREDIFF_SPIN, 3, {1, 999}, &SettingsState::nIgnorableMaxTimeDifference_ms,
     &SettingsState::qwIgnorableMaxTimeDifference},
};

const NumberField* FieldOfEdit(int idEdit)
{
    for (const NumberField& field : NUMBER_FIELDS) {
        if (field.idEdit == idEdit) return &field;
    }
    return NULL;
}

void SetNumberSetting(SettingsState* s, const NumberField& field, int32_t value)
{
    s->*field.pnSetting = value;
    if (field.pqwThreshold != NULL) s->*field.pqwThreshold = MillisecondsToNtp((uint32_t)value);
}
