// The main window's commands: its buttons and the settings controls, with
// what each sets going; its menu's commands go to the shared router.
#pragma once

#include <windows.h>

#include "sntp/client_status.h"

// Handler of the main window's WM_COMMAND.
void OnMainCommand(HWND hwnd, WORD id, WORD code);

// The online button's text, the tray menu's check mark and the tray icon,
// after the client's face changed: on (online or trying) or off.
void ShowOnlineState(ClientFace face);
