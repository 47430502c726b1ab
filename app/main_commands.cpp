#include "app/main_commands.h"

#include "app/exit_countdown.h"
#include "app/log_view.h"
#include "app/menu_commands.h"
#include "app/service_link.h"
#include "app/shell_state.h"
#include "app/tray.h"
#include "resources/resource.h"
#include "settings/settings_controls.h"
#include "settings/settings_table.h"
#include "sntp/client.h"
#include "sntp/server.h"

namespace {

void RunServerMode(bool fRun)
{
    if (fRun) {
        StartServerMode();
    } else {
        StopServerMode();
    }
}

// What a switch sets going once the user changed it: server mode as the
// two switches want it, and a resident program does not end by itself.
void OnSwitchChanged(WORD id)
{
    if (id == IDC_STAY && settings.fStayAfterAdjustment) CancelExitCountdown();
    if (id == IDC_STAY || id == IDC_SERVERMODE) RunServerMode(ServerModeWanted(settings));
}

}  // namespace

void ShowOnlineState(ClientFace face)
{
    bool fOn = face != FACE_OFFLINE;
    // The button names the action a click performs; the menu and the icon show the state.
    SetDlgItemTextA(shell.MainWindow, IDM_ONLINE, fOn ? "オフライン" : "オンライン");
    ShowTrayOnlineState(fOn);
}

void OnMainCommand(HWND hwnd, WORD id, WORD code)
{
    if (id == IDCANCEL) {
        ShowWindow(hwnd, SW_MINIMIZE);  // the minimise notification hides and saves
    } else if (SettingOfControl(id) != NULL && FollowingService()) {
        OnSettingsCommand(hwnd, id, code);
        AskServiceSettings(hwnd);
    } else if (SettingOfControl(id) != NULL) {
        if (OnSettingsCommand(hwnd, id, code)) OnSwitchChanged(id);
        ConfigureClient(ClientConfigOf(settings));
    } else if (id == IDM_COPY) {
        CopyLog(hwnd);
    } else {
        RunMenuCommand(id);
    }
}
