#include "settings/settings_controls.h"

#include <commctrl.h>

#include "resources/resource.h"
#include "settings/settings_table.h"

namespace {

// While the controls are being filled, their notifications are not the user's.
bool fShowing = false;

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
void OnNumberChange(HWND hwnd, const Setting& setting)
{
    WORD wPosition = LOWORD(SendDlgItemMessageA(hwnd, setting.idSpin, UDM_GETPOS, 0, 0));
    if (wPosition < setting.range.nMinimum || wPosition > setting.range.nMaximum) return;
    settings.*setting.pnValue = wPosition;
}

// Leaving the field shows the spinner's number again, whatever was typed.
void OnNumberKillFocus(HWND hwnd, const Setting& setting)
{
    WORD wPosition = LOWORD(SendDlgItemMessageA(hwnd, setting.idSpin, UDM_GETPOS, 0, 0));
    SendDlgItemMessageA(hwnd, setting.idSpin, UDM_SETPOS, 0, MAKELPARAM(wPosition, 0));
}

// The text as typed, or the list's entry as chosen: at the choice the combo
// box's own text is still the old one.
void OnTextChange(HWND hwnd, const Setting& setting, int code)
{
    char (&text)[SERVER_NAME_SIZE] = settings.*setting.pszText;
    if (code == CBN_EDITCHANGE) {
        text[0] = '\0';
        GetDlgItemTextA(hwnd, setting.idControl, text, sizeof text);
        return;
    }
    if (code != CBN_SELCHANGE) return;
    LRESULT index = SendDlgItemMessageA(hwnd, setting.idControl, CB_GETCURSEL, 0, 0);
    if (index == CB_ERR) return;
    LRESULT length = SendDlgItemMessageA(hwnd, setting.idControl, CB_GETLBTEXTLEN, index, 0);
    if (length == CB_ERR || length >= (LRESULT)sizeof text) return;
    SendDlgItemMessageA(hwnd, setting.idControl, CB_GETLBTEXT, index, (LPARAM)text);
}

void ShowSetting(HWND hwnd, const Setting& setting)
{
    if (IsTextSetting(setting)) {
        char (&text)[SERVER_NAME_SIZE] = settings.*setting.pszText;
        ShowServerName(hwnd, text);
        GetDlgItemTextA(hwnd, setting.idControl, text, sizeof text);  // a list entry's own letter case
    } else if (IsNumberSetting(setting)) {
        SendDlgItemMessageA(hwnd, setting.idSpin, UDM_SETPOS, 0, MAKELPARAM(settings.*setting.pnValue, 0));
    } else {
        CheckDlgButton(hwnd, setting.idControl, settings.*setting.pnValue ? BST_CHECKED : BST_UNCHECKED);
    }
}

}  // namespace

void SetUpSettingsControls(HWND hwnd)
{
    SendDlgItemMessageA(hwnd, IDC_SERVERNAME, CB_SETEXTENDEDUI, TRUE, 0);
    for (const Setting& setting : SETTINGS) {
        if (!IsNumberSetting(setting)) continue;
        SendDlgItemMessageA(hwnd, setting.idControl, EM_LIMITTEXT, setting.nTextLimit, 0);
        SendDlgItemMessageA(hwnd, setting.idSpin, UDM_SETRANGE, 0,
                            MAKELPARAM(setting.range.nMaximum, setting.range.nMinimum));
    }
}

void ShowSettings(HWND hwnd)
{
    fShowing = true;
    for (const Setting& setting : SETTINGS) ShowSetting(hwnd, setting);
    EnableStayControls(hwnd);
    fShowing = false;
}

bool OnSettingsCommand(HWND hwnd, int id, int code)
{
    const Setting* setting = SettingOfControl(id);
    if (fShowing || setting == NULL) return false;
    if (IsTextSetting(*setting)) {
        OnTextChange(hwnd, *setting, code);
        return false;
    }
    if (IsNumberSetting(*setting)) {
        if (code == EN_CHANGE) OnNumberChange(hwnd, *setting);
        if (code == EN_KILLFOCUS) OnNumberKillFocus(hwnd, *setting);
        return false;
    }
    if (code != BN_CLICKED) return false;
    settings.*setting->pnValue = IsDlgButtonChecked(hwnd, id) == BST_CHECKED ? 1 : 0;
    EnableStayControls(hwnd);  // residence decides which controls are usable
    return true;
}
