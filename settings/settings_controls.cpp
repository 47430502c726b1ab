#include "settings/settings_controls.h"

#include <commctrl.h>

#include "resources/resource.h"
#include "settings/number_fields.h"
#include "settings/settings_store.h"
#include "state/program_state.h"

namespace {

// While the controls are being filled, their notifications are not the user's.
bool fShowing = false;

void CheckFlag(HWND hwnd, int id, int32_t flag)
{
    CheckDlgButton(hwnd, id, flag ? BST_CHECKED : BST_UNCHECKED);
}

int32_t CheckedState(HWND hwnd, int id)
{
    return IsDlgButtonChecked(hwnd, id) == BST_CHECKED ? 1 : 0;
}

void ShowServerName(HWND hwnd, const char* szServerName)
{
    for (const char* server : DEFAULT_SERVERS) {
        SendDlgItemMessageA(hwnd, IDC_SERVERNAME, CB_ADDSTRING, 0, (LPARAM)server);
    }
    SetDlgItemTextA(hwnd, IDC_SERVERNAME, szServerName);
    LRESULT index = SendDlgItemMessageA(hwnd, IDC_SERVERNAME, CB_FINDSTRINGEXACT, (WPARAM)-1, (LPARAM)szServerName);
    if (index != CB_ERR) SendDlgItemMessageA(hwnd, IDC_SERVERNAME, CB_SETCURSEL, index, 0);
}

// The interval and server-mode controls are usable only while resident.
void EnableStayControls(HWND hwnd)
{
    const int ids[] = {IDC_INTERVAL_LABEL, IDC_INTERVAL, IDC_INTERVAL_SPIN, IDC_SERVERMODE};
    for (int id : ids) EnableWindow(GetDlgItem(hwnd, id), settings.fStayAfterAdjustment ? TRUE : FALSE);
}

// The spinner's position, when within its range, is the setting.
void OnNumberChange(HWND hwnd, const NumberField& field)
{
    WORD wPosition = LOWORD(SendDlgItemMessageA(hwnd, field.idSpin, UDM_GETPOS, 0, 0));
    if (wPosition < field.range.nMinimum || wPosition > field.range.nMaximum) return;
    SetNumberSetting(&settings, field, wPosition);
}

// Leaving the field shows the spinner's number again, whatever was typed.
void OnNumberKillFocus(HWND hwnd, const NumberField& field)
{
    WORD wPosition = LOWORD(SendDlgItemMessageA(hwnd, field.idSpin, UDM_GETPOS, 0, 0));
    SendDlgItemMessageA(hwnd, field.idSpin, UDM_SETPOS, 0, MAKELPARAM(wPosition, 0));
}

void OnCheckBoxClicked(HWND hwnd, int id)
{
    if (id == IDC_STARTONLINE) settings.fStartAtFirst = CheckedState(hwnd, id);
    if (id == IDC_SERVERMODE) settings.fActAsSNTPServer = CheckedState(hwnd, id);
    if (id == IDC_STAY) {
        settings.fStayAfterAdjustment = CheckedState(hwnd, id);
        EnableStayControls(hwnd);
    }
}

}  // namespace

void SetUpSettingsControls(HWND hwnd)
{
    SendDlgItemMessageA(hwnd, IDC_SERVERNAME, CB_SETEXTENDEDUI, TRUE, 0);
    for (const NumberField& field : NUMBER_FIELDS) {
        SendDlgItemMessageA(hwnd, field.idEdit, EM_LIMITTEXT, field.nTextLimit, 0);
        SendDlgItemMessageA(hwnd, field.idSpin, UDM_SETRANGE, 0,
                            MAKELPARAM(field.range.nMaximum, field.range.nMinimum));
    }
}

void ShowSettings(HWND hwnd, const char* szServerName)
{
    fShowing = true;
    ShowServerName(hwnd, szServerName);
    CheckFlag(hwnd, IDC_STARTONLINE, settings.fStartAtFirst);
    CheckFlag(hwnd, IDC_STAY, settings.fStayAfterAdjustment);
    CheckFlag(hwnd, IDC_SERVERMODE, settings.fActAsSNTPServer);
    for (const NumberField& field : NUMBER_FIELDS) {
        SendDlgItemMessageA(hwnd, field.idSpin, UDM_SETPOS, 0, MAKELPARAM(settings.*field.pnSetting, 0));
    }
    EnableStayControls(hwnd);
    fShowing = false;
}

void GetServerName(HWND hwnd, char (&szServerName)[SERVER_NAME_SIZE])
{
    szServerName[0] = '\0';
    GetDlgItemTextA(hwnd, IDC_SERVERNAME, szServerName, SERVER_NAME_SIZE);
}

bool OnSettingsCommand(HWND hwnd, int id, int code)
{
    if (fShowing) return false;
    const NumberField* field = FieldOfEdit(id);
    if (field != NULL) {
        if (code == EN_CHANGE) OnNumberChange(hwnd, *field);
        if (code == EN_KILLFOCUS) OnNumberKillFocus(hwnd, *field);
        return false;
    }
    if (code != BN_CLICKED) return false;
    OnCheckBoxClicked(hwnd, id);
    return true;
}
