#include "app/service_install.h"

#include <shlobj.h>

#include "app/service_main.h"
#include "base/administrators.h"
#include "settings/registry.h"
#include "settings/settings_store.h"

bool (*callerIsAdministrator)() = CallerIsAdministrator;

namespace {

const wchar_t kDisplayName[] = L"Tamarin Time";
const wchar_t kAccount[] = L"NT AUTHORITY\\LocalService";
const DWORD kStopWait_ms = 20000;

// Full control for SYSTEM, administrators and LOCAL SERVICE; reading for
// users; nothing inherited from above, where users may create.
struct ServiceAccess {
    BYTE abSids[3][SECURITY_MAX_SID_SIZE];
    BYTE abUsers[SECURITY_MAX_SID_SIZE];
    BYTE abAcl[512];
    SECURITY_DESCRIPTOR sd;
};

bool AddAce(ACL* acl, BYTE* abSid, WELL_KNOWN_SID_TYPE type, DWORD dwAccess)
{
    DWORD cbSid = SECURITY_MAX_SID_SIZE;
    if (!CreateWellKnownSid(type, NULL, abSid, &cbSid)) return false;
    return AddAccessAllowedAceEx(acl, ACL_REVISION, CONTAINER_INHERIT_ACE | OBJECT_INHERIT_ACE, dwAccess, abSid) != 0;
}

bool MakeServiceAccess(ServiceAccess* access, DWORD dwFull, DWORD dwRead)
{
    ACL* acl = (ACL*)access->abAcl;
    const WELL_KNOWN_SID_TYPE full[3] = {WinLocalSystemSid, WinBuiltinAdministratorsSid, WinLocalServiceSid};
    if (!InitializeAcl(acl, sizeof access->abAcl, ACL_REVISION)) return false;
    for (int i = 0; i < 3; ++i) {
        if (!AddAce(acl, access->abSids[i], full[i], dwFull)) return false;
    }
    if (!AddAce(acl, access->abUsers, WinBuiltinUsersSid, dwRead)) return false;
    return InitializeSecurityDescriptor(&access->sd, SECURITY_DESCRIPTOR_REVISION) &&
           SetSecurityDescriptorDacl(&access->sd, TRUE, acl, FALSE) &&
           SetSecurityDescriptorControl(&access->sd, SE_DACL_PROTECTED, SE_DACL_PROTECTED);
}

DWORD ProtectSettingsKey()
{
    static ServiceAccess access;
    if (!MakeServiceAccess(&access, KEY_ALL_ACCESS, KEY_READ)) return GetLastError();
    HKEY hKey;
    LONG nError = RegCreateKeyExA(HKEY_LOCAL_MACHINE, SETTINGS_KEY, 0, NULL, REG_OPTION_NON_VOLATILE,
                                  WRITE_DAC | KEY_READ, NULL, &hKey, NULL);
    if (nError != ERROR_SUCCESS) return (DWORD)nError;
    nError = RegSetKeySecurity(hKey, DACL_SECURITY_INFORMATION, &access.sd);
    RegCloseKey(hKey);
    return (DWORD)nError;
}

// The folder may exist already, made by anyone: it must be a folder, not a
// link to one, and gets the service's access afresh.
DWORD ProtectDataFolder()
{
    static ServiceAccess access;
    if (!MakeServiceAccess(&access, FILE_ALL_ACCESS, FILE_GENERIC_READ | FILE_GENERIC_EXECUTE)) return GetLastError();
    char szFolder[MAX_PATH + 16];
    if (FAILED(SHGetFolderPathA(NULL, CSIDL_COMMON_APPDATA, NULL, SHGFP_TYPE_CURRENT, szFolder))) return ERROR_PATH_NOT_FOUND;
    lstrcatA(szFolder, "\\Tamarin Time");
    SECURITY_ATTRIBUTES sa = {sizeof sa, &access.sd, FALSE};
    if (CreateDirectoryA(szFolder, &sa)) return 0;
    if (GetLastError() != ERROR_ALREADY_EXISTS) return GetLastError();
    DWORD dwAttributes = GetFileAttributesA(szFolder);
    if ((dwAttributes & FILE_ATTRIBUTE_REPARSE_POINT) || !(dwAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
        return ERROR_CANT_ACCESS_FILE;
    }
    return SetFileSecurityA(szFolder, DACL_SECURITY_INFORMATION, &access.sd) ? 0 : GetLastError();
}

// A first install: the installing user's settings become the machine's, so
// that the service keeps the clock as that user's program did. Settings the
// machine has already stay.
void TakeUserSettings()
{
    SettingsState s;
    UseMachineSettings(true);
    bool fMachineHas = LoadSettings(&s);
    UseMachineSettings(false);
    if (!fMachineHas && LoadSettings(&s)) {
        UseMachineSettings(true);
        SaveSettings(s);
    }
    UseMachineSettings(false);
}

DWORD RegisterService(SC_HANDLE hManager)
{
    wchar_t szCommand[MAX_PATH + 16] = L"\"";
    DWORD cch = GetModuleFileNameW(NULL, szCommand + 1, MAX_PATH);
    if (cch == 0 || cch >= MAX_PATH) return ERROR_FILENAME_EXCED_RANGE;
    lstrcatW(szCommand, L"\" /service");
    SC_HANDLE hService = CreateServiceW(hManager, SERVICE_NAME, kDisplayName, SERVICE_ALL_ACCESS,
                                        SERVICE_WIN32_OWN_PROCESS, SERVICE_AUTO_START, SERVICE_ERROR_NORMAL,
                                        szCommand, NULL, NULL, NULL, kAccount, L"");
    if (hService == NULL && GetLastError() == ERROR_SERVICE_EXISTS) {
        hService = OpenServiceW(hManager, SERVICE_NAME, SERVICE_CHANGE_CONFIG);
        if (hService != NULL && !ChangeServiceConfigW(hService, SERVICE_NO_CHANGE, SERVICE_AUTO_START,
                                                      SERVICE_NO_CHANGE, szCommand, NULL, NULL, NULL, kAccount,
                                                      L"", kDisplayName)) {
            DWORD dwError = GetLastError();
            CloseServiceHandle(hService);
            return dwError;
        }
    }
    if (hService == NULL) return GetLastError();
    CloseServiceHandle(hService);
    return 0;
}

void StopAndWait(SC_HANDLE hService)
{
    SERVICE_STATUS status = {};
    if (!ControlService(hService, SERVICE_CONTROL_STOP, &status)) return;
    for (DWORD waited = 0; waited < kStopWait_ms && status.dwCurrentState != SERVICE_STOPPED; waited += 250) {
        Sleep(250);
        if (!QueryServiceStatus(hService, &status)) return;
    }
}

}  // namespace

bool CallerIsAdministrator()
{
    return IsElevatedAdministrator(NULL);
}

DWORD InstallService()
{
    if (!callerIsAdministrator()) return ERROR_ACCESS_DENIED;
    DWORD dwError = ProtectSettingsKey();
    if (dwError == 0) dwError = ProtectDataFolder();
    if (dwError != 0) return dwError;
    TakeUserSettings();
    SC_HANDLE hManager = OpenSCManagerW(NULL, NULL, SC_MANAGER_CREATE_SERVICE);
    if (hManager == NULL) return GetLastError();
    dwError = RegisterService(hManager);
    CloseServiceHandle(hManager);
    return dwError;
}

DWORD UninstallService()
{
    if (!callerIsAdministrator()) return ERROR_ACCESS_DENIED;
    SC_HANDLE hManager = OpenSCManagerW(NULL, NULL, SC_MANAGER_CONNECT);
    if (hManager == NULL) return GetLastError();
    SC_HANDLE hService = OpenServiceW(hManager, SERVICE_NAME, SERVICE_STOP | SERVICE_QUERY_STATUS | DELETE);
    DWORD dwError = 0;
    if (hService == NULL) {
        dwError = GetLastError() == ERROR_SERVICE_DOES_NOT_EXIST ? 0 : GetLastError();
    } else {
        StopAndWait(hService);
        if (!DeleteService(hService)) dwError = GetLastError();
        CloseServiceHandle(hService);
    }
    CloseServiceHandle(hManager);
    return dwError;
}
