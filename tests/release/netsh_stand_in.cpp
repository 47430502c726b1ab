// Stands in for netsh.exe in the release test's prefix, where Wine's own
// knows no firewall: it appends its arguments, a line a call, to
// C:\netsh\calls.txt and succeeds. While C:\netsh\fail exists, adding a rule
// fails.
#include <windows.h>
#include <stdio.h>
#include <wchar.h>

int main()
{
    const wchar_t* line = GetCommandLineW();
    const wchar_t* args = *line == L'"' ? wcschr(line + 1, L'"') : wcschr(line, L' ');
    args = args == NULL ? L"" : args + (*line == L'"' ? 1 : 0);
    while (*args == L' ') ++args;
    static char utf8[8192];
    WideCharToMultiByte(CP_UTF8, 0, args, -1, utf8, sizeof utf8, NULL, NULL);
    FILE* calls = _wfopen(L"C:\\netsh\\calls.txt", L"ab");
    if (calls == NULL) return 9;
    fprintf(calls, "%s\n", utf8);
    fclose(calls);
    bool fails = wcsstr(args, L" add rule ") != NULL && GetFileAttributesW(L"C:\\netsh\\fail") != INVALID_FILE_ATTRIBUTES;
    return fails ? 1 : 0;
}
