// A DLL planted beside the exe under the name of a system DLL, as a
// download folder might hold one: loaded, it leaves a file named after
// itself in C:\markers, which the release test looks for.
#include <windows.h>
#include <wchar.h>

BOOL WINAPI DllMain(HINSTANCE hInstance, DWORD dwReason, LPVOID)
{
    if (dwReason != DLL_PROCESS_ATTACH) return TRUE;
    wchar_t szModule[MAX_PATH];
    DWORD cch = GetModuleFileNameW(hInstance, szModule, MAX_PATH);
    const wchar_t* szName = wcsrchr(szModule, L'\\');
    if (cch == 0 || szName == NULL) return TRUE;
    wchar_t szMarker[MAX_PATH];
    _snwprintf(szMarker, MAX_PATH, L"C:\\markers\\%ls", szName + 1);
    szMarker[MAX_PATH - 1] = L'\0';
    HANDLE hFile = CreateFileW(szMarker, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL);
    if (hFile != INVALID_HANDLE_VALUE) CloseHandle(hFile);
    return TRUE;
}
