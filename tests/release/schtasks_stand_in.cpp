// Stands in for schtasks.exe in the release test's prefix. It runs the real
// one, kept as C:\schtasks\schtasks.exe, with the same arguments, and keeps
// a copy of every task definition it is given as C:\schtasks\task.xml, which
// Wine's task store would not keep whole, and the definition's own path as
// C:\schtasks\path.txt. While C:\schtasks\fail exists a
// /Create fails after the real one has registered the task: a half-made task.
#include <windows.h>
#include <wchar.h>

namespace {

const wchar_t kReal[] = L"C:\\schtasks\\schtasks.exe";

// The command line after the program's own name.
const wchar_t* Arguments(const wchar_t* line)
{
    if (*line == L'"') {
        line = wcschr(line + 1, L'"');
        return line != NULL ? line + 1 : L"";
    }
    const wchar_t* space = wcschr(line, L' ');
    return space != NULL ? space : L"";
}

// The path after /XML, unquoted, into path.
bool DefinitionPath(const wchar_t* args, wchar_t* path, size_t size)
{
    const wchar_t* at = wcsstr(args, L"/XML \"");
    if (at == NULL) return false;
    at += 6;
    const wchar_t* end = wcschr(at, L'"');
    if (end == NULL || (size_t)(end - at) >= size) return false;
    wmemcpy(path, at, end - at);
    path[end - at] = L'\0';
    return true;
}

}  // namespace

int main()
{
    const wchar_t* args = Arguments(GetCommandLineW());
    wchar_t path[MAX_PATH];
    if (DefinitionPath(args, path, MAX_PATH)) {
        CopyFileW(path, L"C:\\schtasks\\task.xml", FALSE);
        HANDLE hFile = CreateFileW(L"C:\\schtasks\\path.txt", GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL);
        DWORD cb = 0;
        WriteFile(hFile, path, (DWORD)(wcslen(path) * sizeof(wchar_t)), &cb, NULL);
        CloseHandle(hFile);
    }

    static wchar_t line[4096];
    _snwprintf(line, 4096, L"\"%ls\"%ls", kReal, args);
    STARTUPINFOW si = {sizeof si};
    PROCESS_INFORMATION pi;
    if (!CreateProcessW(kReal, line, NULL, NULL, FALSE, 0, NULL, NULL, &si, &pi)) return 9;
    WaitForSingleObject(pi.hProcess, INFINITE);
    DWORD code = 9;
    GetExitCodeProcess(pi.hProcess, &code);
    bool fails = wcsstr(args, L"/Create") != NULL && GetFileAttributesW(L"C:\\schtasks\\fail") != INVALID_FILE_ATTRIBUTES;
    return fails ? 1 : (int)code;
}
