#include "app/main_commands.h"

#include "app/menu_commands.h"
#include "app/tray.h"
#include "resources/resource.h"
#include "settings/settings_controls.h"
#include "sntp/client.h"
#include "sntp/server.h"
#include "sntp/tick.h"
#include "state/program_state.h"

namespace {

void RunServerMode(HWND hwnd, bool fRun)
{
    if (fRun) {
        StartServerMode(hwnd);
    } else {
        StopServerMode();
    }
}

// Server mode runs only while the program stays resident, and a resident
// program does not end by itself.
void OnStayChanged(HWND hwnd)
{
    if (settings.fStayAfterAdjustment) CancelExitCountdown();
    if (settings.fActAsSNTPServer) RunServerMode(hwnd, settings.fStayAfterAdjustment != 0);
}

}  // namespace

void ShowOnlineState(bool fOnline)
{
    // The button names the action a click performs; the menu and the icon show the state.
    SetDlgItemTextA(shell.MainWindow, IDM_ONLINE, fOnline ? "オフライン" : "オンライン");
    ShowTrayOnlineState(fOnline);
}

void OnMainCommand(HWND hwnd, WORD id, WORD code)
{
    switch (id) {
    case IDCANCEL:
        ShowWindow(hwnd, SW_MINIMIZE);  // the minimise notification hides and saves
        break;
    case IDC_INTERVAL:
    case IDC_MAXDELAY:
    case IDC_IGNOREDIFF:
    case IDC_STARTONLINE:
        OnSettingsCommand(hwnd, id, code);
        break;
    case IDC_STAY:
        if (OnSettingsCommand(hwnd, id, code)) OnStayChanged(hwnd);
        break;
    case IDC_SERVERMODE:
        if (OnSettingsCommand(hwnd, id, code)) RunServerMode(hwnd, settings.fActAsSNTPServer != 0);
        break;
    default:
        RunMenuCommand(id);
        break;
    }
}
