#include "sntp/client.h"

#include "app/state.h"

// Going online comes with the connection sequence; until then the command
// and the lookup completions are accepted and do nothing.
void ToggleOnline(HWND)
{
}

void OnHostResolved(HANDLE, int)
{
}

void OnServiceResolved(HANDLE, int)
{
}

void CloseClientSocket()
{
    if (sockClient == INVALID_SOCKET) return;
    shutdown(sockClient, 2);  // both directions
    closesocket(sockClient);
    sockClient = INVALID_SOCKET;
}
