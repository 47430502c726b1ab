#include "base/system_library.h"

#include <wchar.h>

FARPROC SystemFunction(const wchar_t* szDll, const char* szName)
{
    HMODULE hModule = LoadLibraryExW(szDll, NULL, LOAD_LIBRARY_SEARCH_SYSTEM32);
    if (hModule == NULL) {
        // A Windows that knows no such flag: the full path, which the loader
        // takes as it is, with the DLL's own folder first for what it needs.
        wchar_t szPath[MAX_PATH];
        UINT cch = GetSystemDirectoryW(szPath, MAX_PATH);
        if (cch == 0 || cch + 1 + wcslen(szDll) >= MAX_PATH) return NULL;
        szPath[cch] = L'\\';
        wcscpy(szPath + cch + 1, szDll);
        hModule = LoadLibraryExW(szPath, NULL, LOAD_WITH_ALTERED_SEARCH_PATH);
    }
    return hModule != NULL ? GetProcAddress(hModule, szName) : NULL;
}

void LoadFromSystemFolderOnly()
{
    typedef BOOL(WINAPI * SetDirectories)(DWORD);
    HMODULE hKernel = GetModuleHandleW(L"kernel32.dll");
    FARPROC proc = hKernel != NULL ? GetProcAddress(hKernel, "SetDefaultDllDirectories") : NULL;
    if (proc != NULL) ((SetDirectories)(void*)proc)(LOAD_LIBRARY_SEARCH_SYSTEM32);
}
