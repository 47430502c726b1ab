#include "settings/settings.h"

#include <commctrl.h>

#include "app/state.h"
#include "resources/resource.h"
#include "settings/registry.h"
#include "sntp/server.h"
#include "timebase/ntp_time.h"

namespace {

const char kSettingsKey[] = "Software\\Halden Works\\Tamarin Time";
const char* const kDefaultServers[] = {"ntp.nict.jp", "ntp.jst.mfeed.ad.jp"};

struct NumberField {
    int idEdit;
    int idSpin;
    int nTextLimit;
    LPARAM lRange;  // maximum in the low word, minimum in the high word
    int32_t* pnSetting;
    uint64_t* pqwThreshold;  // NULL when no threshold follows the setting
};

const NumberField kNumberFields[] = {
    {IDC_INTERVAL, IDC_INTERVAL_SPIN, 3, 0x000103E7, &nCheckTimer_minute, NULL},
    {IDC_MAXDELAY, IDC_MAXDELAY_SPIN, 4, 0x0001270F, &nAcceptableMaxLoopDelay_ms, &qwAcceptableMaxLoopDelay},
    {IDC_IGNOREDIFF, IDC_IGNOREDIFF_SPIN, 3, 0x000103E7, &nIgnorableMaxTimeDifference_ms,
     &qwIgnorableMaxTimeDifference},
};

struct DwordValue {
    const char* name;
    int32_t* pnValue;
};

// Read in this order; fStayAfterAdjustment and fStartAtFirst swap places
// when written.
const DwordValue kReadOrder[] = {
    {"nCheckTimer_minute", &nCheckTimer_minute},
    {"nIgnorableMaxTimeDifference_ms", &nIgnorableMaxTimeDifference_ms},
    {"nAcceptableMaxLoopDelay_ms", &nAcceptableMaxLoopDelay_ms},
    {"fStayAfterAdjustment", &fStayAfterAdjustment},
    {"fStartAtFirst", &fStartAtFirst},
    {"fActAsSNTPServer", &fActAsSNTPServer},
};
const DwordValue kWriteOrder[] = {
    {"nCheckTimer_minute", &nCheckTimer_minute},
    {"nIgnorableMaxTimeDifference_ms", &nIgnorableMaxTimeDifference_ms},
    {"nAcceptableMaxLoopDelay_ms", &nAcceptableMaxLoopDelay_ms},
    {"fStartAtFirst", &fStartAtFirst},
    {"fStayAfterAdjustment", &fStayAfterAdjustment},
    {"fActAsSNTPServer", &fActAsSNTPServer},
};

const NumberField* FieldOfEdit(int idEdit)
{
    for (const NumberField& field : kNumberFields) {
        if (field.idEdit == idEdit) return &field;
    }
    return NULL;
}

void SetDefaults()
{
    nCheckTimer_minute = 10;
    fStartAtFirst = 0;
    fActAsSNTPServer = 0;
    nIgnorableMaxTimeDifference_ms = 200;
    nAcceptableMaxLoopDelay_ms = 600;
    fStayAfterAdjustment = 1;
}

// The stored server name goes into the field; the list entry it names, in
// any letter case, is the one to select, or none (CB_ERR).
LRESULT LoadServerName(HWND hwnd, HKEY hKey)
{
    char szServerName[SERVER_NAME_SIZE];
    if (!ReadRegText(hKey, "szServerName", szServerName)) return 0;
    SetDlgItemTextA(hwnd, IDC_SERVERNAME, szServerName);
    return SendDlgItemMessageA(hwnd, IDC_SERVERNAME, CB_FINDSTRINGEXACT, (WPARAM)-1, (LPARAM)szServerName);
}

void CheckFlag(HWND hwnd, int id, int32_t flag)
{
    CheckDlgButton(hwnd, id, flag ? BST_CHECKED : BST_UNCHECKED);
}

int32_t CheckedState(HWND hwnd, int id)
{
    return IsDlgButtonChecked(hwnd, id) == BST_CHECKED ? 1 : 0;
}

// The spinner's position, when within its range, is the setting; the
// thresholds follow their settings only here.
void OnNumberChange(HWND hwnd, const NumberField& field)
{
    WORD wPosition = LOWORD(SendDlgItemMessageA(hwnd, field.idSpin, UDM_GETPOS, 0, 0));
    LRESULT range = SendDlgItemMessageA(hwnd, field.idSpin, UDM_GETRANGE, 0, 0);
    WORD wMaximum = LOWORD(range);
    WORD wMinimum = HIWORD(range);
    if (wPosition < wMinimum || wPosition > wMaximum) return;
    *field.pnSetting = wPosition;
    if (field.pqwThreshold != NULL) *field.pqwThreshold = MillisecondsToNtp(wPosition);
}

// Leaving the field shows the spinner's number again, whatever was typed.
void OnNumberKillFocus(HWND hwnd, const NumberField& field)
{
    WORD wPosition = LOWORD(SendDlgItemMessageA(hwnd, field.idSpin, UDM_GETPOS, 0, 0));
    SendDlgItemMessageA(hwnd, field.idSpin, UDM_SETPOS, 0, MAKELPARAM(wPosition, 0));
}

void OnStayClicked(HWND hwnd)
{
    fStayAfterAdjustment = CheckedState(hwnd, IDC_STAY);
    if (fStayAfterAdjustment) {
        fExitCountdown = 0;
        if (fActAsSNTPServer) StartServerMode(hwnd);
    } else if (fActAsSNTPServer) {
        StopServerMode();
    }
    EnableStayControls(hwnd);
}

void OnServerModeClicked(HWND hwnd)
{
    fActAsSNTPServer = CheckedState(hwnd, IDC_SERVERMODE);
    if (fActAsSNTPServer) {
        StartServerMode(hwnd);
    } else {
        StopServerMode();
    }
}

}  // namespace

void SetUpSettingsControls(HWND hwnd)
{
    SendDlgItemMessageA(hwnd, IDC_SERVERNAME, CB_SETEXTENDEDUI, TRUE, 0);
    for (const NumberField& field : kNumberFields) {
        SendDlgItemMessageA(hwnd, field.idEdit, EM_LIMITTEXT, field.nTextLimit, 0);
        SendDlgItemMessageA(hwnd, field.idSpin, UDM_SETRANGE, 0, field.lRange);
    }
}

bool LoadSettings(HWND hwnd)
{
    for (const char* server : kDefaultServers) {
        SendDlgItemMessageA(hwnd, IDC_SERVERNAME, CB_ADDSTRING, 0, (LPARAM)server);
    }
    SetDefaults();
    LRESULT index = 0;
    bool fKeyExisted = false;

    HKEY hKey;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, kSettingsKey, 0, KEY_READ, &hKey) == ERROR_SUCCESS) {
        fKeyExisted = true;
        index = LoadServerName(hwnd, hKey);
        for (const DwordValue& value : kReadOrder) ReadRegDword(hKey, value.name, value.pnValue);
        RegCloseKey(hKey);
    }

    if (index != CB_ERR) SendDlgItemMessageA(hwnd, IDC_SERVERNAME, CB_SETCURSEL, index, 0);
    CheckFlag(hwnd, IDC_STARTONLINE, fStartAtFirst);
    CheckFlag(hwnd, IDC_STAY, fStayAfterAdjustment);
    CheckFlag(hwnd, IDC_SERVERMODE, fActAsSNTPServer);
    // Each position written into the still empty edit raises EN_CHANGE,
    // whose handling stores the number again and derives the thresholds.
    for (const NumberField& field : kNumberFields) {
        SendDlgItemMessageA(hwnd, field.idSpin, UDM_SETPOS, 0, MAKELPARAM(LOWORD(*field.pnSetting), 0));
    }
    EnableStayControls(hwnd);
    return fKeyExisted;
}

void SaveSettings(HWND hwnd)
{
    HKEY hKey;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, kSettingsKey, 0, NULL, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, NULL,
                        &hKey, NULL) != ERROR_SUCCESS) {
        return;
    }
    char szServerName[SERVER_NAME_SIZE] = "";
    int nLength = GetDlgItemTextA(hwnd, IDC_SERVERNAME, szServerName, sizeof szServerName);
    RegSetValueExA(hKey, "szServerName", 0, REG_SZ, (const BYTE*)szServerName, nLength + 1);
    for (const DwordValue& value : kWriteOrder) {
        DWORD dwData = (DWORD)*value.pnValue;
        RegSetValueExA(hKey, value.name, 0, REG_DWORD, (const BYTE*)&dwData, sizeof dwData);
    }
    RegCloseKey(hKey);
}

void EnableStayControls(HWND hwnd)
{
    const int ids[] = {IDC_INTERVAL_LABEL, IDC_INTERVAL, IDC_INTERVAL_SPIN, IDC_SERVERMODE};
    for (int id : ids) EnableWindow(GetDlgItem(hwnd, id), fStayAfterAdjustment ? TRUE : FALSE);
}

void OnSettingsCommand(HWND hwnd, int id, int code)
{
    const NumberField* field = FieldOfEdit(id);
    if (field != NULL) {
        if (code == EN_CHANGE) OnNumberChange(hwnd, *field);
        if (code == EN_KILLFOCUS) OnNumberKillFocus(hwnd, *field);
        return;
    }
    if (code != BN_CLICKED) return;
    if (id == IDC_STARTONLINE) fStartAtFirst = CheckedState(hwnd, IDC_STARTONLINE);
    if (id == IDC_STAY) OnStayClicked(hwnd);
    if (id == IDC_SERVERMODE) OnServerModeClicked(hwnd);
}
