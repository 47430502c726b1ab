#include "sntp/windows_time.h"

#include <windows.h>

namespace {

bool ServiceRunning()
{
    SC_HANDLE hManager = OpenSCManagerA(NULL, NULL, SC_MANAGER_CONNECT);
    if (hManager == NULL) return false;
    SC_HANDLE hService = OpenServiceA(hManager, "W32Time", SERVICE_QUERY_STATUS);
    SERVICE_STATUS status = {};
    bool fRunning = hService != NULL && QueryServiceStatus(hService, &status) &&
                    status.dwCurrentState == SERVICE_RUNNING;
    if (hService != NULL) CloseServiceHandle(hService);
    CloseServiceHandle(hManager);
    return fRunning;
}

// Type NoSync leaves the clock alone; NTP, NT5DS and AllSync set it.
bool SetToSynchronise()
{
    HKEY hKey = NULL;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Services\\W32Time\\Parameters", 0, KEY_READ,
                      &hKey) != ERROR_SUCCESS) {
        return true;  // its default is to synchronise
    }
    char szType[32] = "";
    DWORD cb = sizeof szType - 1, dwType = 0;
    LONG nResult = RegQueryValueExA(hKey, "Type", NULL, &dwType, (BYTE*)szType, &cb);
    RegCloseKey(hKey);
    if (nResult != ERROR_SUCCESS || dwType != REG_SZ) return true;
    szType[cb < sizeof szType ? cb : sizeof szType - 1] = '\0';
    return lstrcmpiA(szType, "NoSync") != 0;
}

}  // namespace

WindowsTime QueryWindowsTime()
{
    WindowsTime state = {ServiceRunning(), false};
    state.fSynchronising = state.fRunning && SetToSynchronise();
    return state;
}

WindowsTime (*windowsTime)() = QueryWindowsTime;
