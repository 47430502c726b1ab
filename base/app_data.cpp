#include "base/app_data.h"

#include <shlobj.h>
#include <string.h>

namespace {

const char kFolderName[] = "Tamarin Time";
const char* pszFolder = NULL;  // a test's folder instead of the user's
int nFolderId = CSIDL_LOCAL_APPDATA;

bool FolderPath(char (&szPath)[MAX_PATH])
{
    if (pszFolder != NULL) {
        if (strlen(pszFolder) >= MAX_PATH) return false;
        strcpy(szPath, pszFolder);
        return true;
    }
    if (FAILED(SHGetFolderPathA(NULL, nFolderId, NULL, SHGFP_TYPE_CURRENT, szPath))) return false;
    size_t length = strlen(szPath);
    if (length + 1 + sizeof kFolderName > MAX_PATH) return false;
    szPath[length] = '\\';
    memcpy(szPath + length + 1, kFolderName, sizeof kFolderName);
    return true;
}

bool IsLink(const char* szPath)
{
    DWORD dwAttributes = appDataAttributes(szPath);
    return dwAttributes != INVALID_FILE_ATTRIBUTES && (dwAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

bool Refuse(char (&szPath)[MAX_PATH], DWORD dwError)
{
    szPath[0] = '\0';
    SetLastError(dwError);
    return false;
}

}  // namespace

DWORD(WINAPI* appDataAttributes)(LPCSTR szPath) = GetFileAttributesA;

bool AppDataPath(char (&szPath)[MAX_PATH], const char* szName)
{
    char szFolder[MAX_PATH];
    szPath[0] = '\0';
    if (!FolderPath(szFolder)) return Refuse(szPath, ERROR_PATH_NOT_FOUND);
    if (!CreateDirectoryA(szFolder, NULL) && GetLastError() != ERROR_ALREADY_EXISTS) return false;
    size_t length = strlen(szFolder), nameLength = strlen(szName);
    if (length + 1 + nameLength >= MAX_PATH) return Refuse(szPath, ERROR_FILENAME_EXCED_RANGE);
    memcpy(szPath, szFolder, length);
    szPath[length] = '\\';
    memcpy(szPath + length + 1, szName, nameLength + 1);
    if (IsLink(szFolder) || IsLink(szPath)) return Refuse(szPath, ERROR_CANT_ACCESS_FILE);
    return true;
}

void UseMachineDataFolder(bool fMachine)
{
    nFolderId = fMachine ? CSIDL_COMMON_APPDATA : CSIDL_LOCAL_APPDATA;
}

void SetAppDataFolder(const char* szFolder)
{
    pszFolder = szFolder;
}
