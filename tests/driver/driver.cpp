#include "driver.h"

#include <winternl.h>
#include <stdio.h>
#include <stdlib.h>

#include "app/log_view.h"
#include "base/app_data.h"
#include "resources/resource.h"
#include "settings/registry.h"

namespace {

const char kMainCaption[] = "Tamarin Time network time client";

struct WindowQuery {
    DWORD processId;
    const char* szClass;
    const char* szCaption;
    HWND hFound;
};

BOOL CALLBACK MatchWindow(HWND hwnd, LPARAM lParam)
{
    WindowQuery* query = (WindowQuery*)lParam;
    DWORD processId = 0;
    GetWindowThreadProcessId(hwnd, &processId);
    if (processId != query->processId) return TRUE;
    char text[256] = {};
    if (query->szClass != NULL && (GetClassNameA(hwnd, text, sizeof text) == 0 || lstrcmpA(text, query->szClass) != 0)) {
        return TRUE;
    }
    if (query->szCaption != NULL && WindowText(hwnd) != query->szCaption) return TRUE;
    query->hFound = hwnd;
    return FALSE;
}

BOOL CALLBACK CountTrayIcons(HWND hwnd, LPARAM lParam)
{
    char szClass[64] = {};
    GetClassNameA(hwnd, szClass, sizeof szClass);
    if (lstrcmpA(szClass, "__winex11_tray_icon") == 0) ++*(int*)lParam;
    return TRUE;
}

}  // namespace

HWND WaitForWindow(DWORD processId, const char* szClass, const char* szCaption, DWORD timeoutMs)
{
    WindowQuery query = {processId, szClass, szCaption, NULL};
    for (DWORD waited = 0; query.hFound == NULL && waited <= timeoutMs; waited += 50) {
        EnumWindows(MatchWindow, (LPARAM)&query);
        if (query.hFound == NULL) Sleep(50);
    }
    return query.hFound;
}

bool StartProgram(RunningProgram* program, double* windowMs)
{
    // The build's program, or another copy of it (unpacked, installed) named by TAMARIN_EXE.
    const char* exe = getenv("TAMARIN_EXE");
    char commandLine[MAX_PATH + 2];
    snprintf(commandLine, sizeof commandLine, "\"%s\"", exe != NULL ? exe : TAMARIN_EXE_PATH);
    STARTUPINFOA si = {};
    si.cb = sizeof si;
    *program = RunningProgram();
    LARGE_INTEGER start;
    QueryPerformanceCounter(&start);
    if (!CreateProcessA(NULL, commandLine, NULL, NULL, FALSE, 0, NULL, NULL, &si, &program->pi)) return false;
    if (windowMs != NULL) {
        while (FindWindowA(NULL, kMainCaption) == NULL && MillisecondsSince(start) < 10000) Sleep(1);
        *windowMs = MillisecondsSince(start);
    }
    // Its windows exist before their initialisation ends: wait for the loop.
    WaitForInputIdle(program->pi.hProcess, 10000);
    program->hTray = WaitForWindow(program->pi.dwProcessId, "Tamarin Time", NULL);
    program->hMain = WaitForWindow(program->pi.dwProcessId, NULL, kMainCaption);
    return program->hTray != NULL && program->hMain != NULL;
}

int EndProgram(RunningProgram* program, HWND hTarget)
{
    PostMessageA(hTarget != NULL ? hTarget : program->hMain, WM_CLOSE, 0, 0);
    DWORD exitCode = (DWORD)-1;
    if (WaitForSingleObject(program->pi.hProcess, 10000) == WAIT_OBJECT_0) {
        GetExitCodeProcess(program->pi.hProcess, &exitCode);
    } else {
        TerminateProcess(program->pi.hProcess, 99);
    }
    CloseHandle(program->pi.hThread);
    CloseHandle(program->pi.hProcess);
    program->pi.hProcess = NULL;
    program->pi.hThread = NULL;
    return (int)exitCode;
}

std::string WindowText(HWND hwnd)
{
    wchar_t wide[512] = {};
    int length = (int)SendMessageW(hwnd, WM_GETTEXT, 511, (LPARAM)wide);
    char bytes[1024] = {};
    WideCharToMultiByte(932, 0, wide, length, bytes, sizeof bytes - 1, NULL, NULL);
    return bytes;
}

std::vector<std::string> ListBoxLines(HWND hList, int last)
{
    // The log's view takes new lines on a timer: brought up to date first.
    if (GetDlgCtrlID(hList) == IDC_LOG) SendMessageW(GetParent(hList), WM_TIMER, LOG_VIEW_TIMER, 0);
    std::vector<std::string> lines;
    int count = (int)SendMessageW(hList, LB_GETCOUNT, 0, 0);
    for (int i = last > 0 && last < count ? count - last : 0; i < count; ++i) {
        wchar_t wide[512] = {};
        int length = (int)SendMessageW(hList, LB_GETTEXT, i, (LPARAM)wide);
        char bytes[1024] = {};
        WideCharToMultiByte(932, 0, wide, length, bytes, sizeof bytes - 1, NULL, NULL);
        lines.push_back(bytes);
    }
    return lines;
}

double MillisecondsSince(LARGE_INTEGER start)
{
    LARGE_INTEGER frequency, now;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&now);
    return (now.QuadPart - start.QuadPart) * 1000.0 / frequency.QuadPart;
}

int TrayIconCount()
{
    int count = 0;
    HWND hTrayArea = FindWindowA(NULL, "Wine System Tray");
    if (hTrayArea != NULL) EnumChildWindows(hTrayArea, CountTrayIcons, (LPARAM)&count);
    return count;
}

void DeleteSettingsKey()
{
    RegDeleteKeyA(HKEY_CURRENT_USER, SETTINGS_KEY);
}

void ForgetHistory()
{
    char szPath[MAX_PATH];
    if (AppDataPath(szPath, "history.dat")) DeleteFileA(szPath);
}

void WriteSetting(const char* name, DWORD dwType, const void* data, DWORD cbData)
{
    HKEY hKey = CreateSettingsKey();
    PutRegValue(hKey, name, dwType, data, cbData);
    RegCloseKey(hKey);
}

void WriteSettingDword(const char* name, DWORD value)
{
    HKEY hKey = CreateSettingsKey();
    PutRegDword(hKey, name, (int32_t)value);
    RegCloseKey(hKey);
}

bool ReadSetting(const char* name, DWORD* pdwType, std::vector<BYTE>* data)
{
    HKEY hKey = OpenSettingsKey();
    if (hKey == NULL) return false;
    BYTE buffer[512];
    DWORD cbData = sizeof buffer;
    LONG result = RegQueryValueExA(hKey, name, NULL, pdwType, buffer, &cbData);
    RegCloseKey(hKey);
    if (result != ERROR_SUCCESS) return false;
    data->assign(buffer, buffer + cbData);
    return true;
}

std::string Utf8(const std::string& cp932)
{
    wchar_t wide[1024];
    int n = MultiByteToWideChar(932, 0, cp932.data(), (int)cp932.size(), wide, 1024);
    char utf8[4096];
    int m = WideCharToMultiByte(CP_UTF8, 0, wide, n, utf8, sizeof utf8, NULL, NULL);
    return std::string(utf8, m);
}

void StoreSettings(int count, char** pairs)
{
    DeleteSettingsKey();
    ForgetHistory();
    HKEY hKey = CreateSettingsKey();
    for (int i = 0; i < count; ++i) {
        std::string pair = pairs[i];
        size_t eq = pair.find('=');
        std::string name = pair.substr(0, eq), value = pair.substr(eq + 1);
        if (value.rfind("s:", 0) == 0) {
            PutRegText(hKey, name.c_str(), value.c_str() + 2);
        } else {
            PutRegDword(hKey, name.c_str(), (int32_t)strtoul(value.c_str(), NULL, 10));
        }
    }
    RegCloseKey(hKey);
}

int CountProcessHandles(DWORD processId)
{
    typedef NTSTATUS(NTAPI * QuerySystemInformation)(ULONG, PVOID, ULONG, PULONG);
    struct HandleEntry {
        USHORT processId, backTrace;
        UCHAR type, flags;
        USHORT handle;
        PVOID object;
        ULONG access;
    };
    const ULONG kSystemHandleInformation = 16;
    QuerySystemInformation query =
        (QuerySystemInformation)(void*)GetProcAddress(GetModuleHandleA("ntdll.dll"), "NtQuerySystemInformation");
    static std::vector<char> buffer(1 << 22);
    ULONG length = 0;
    if (query == NULL || query(kSystemHandleInformation, buffer.data(), (ULONG)buffer.size(), &length) != 0) return -1;
    ULONG count = *(const ULONG*)buffer.data();
    const HandleEntry* entries = (const HandleEntry*)(buffer.data() + sizeof(void*));
    int n = 0;
    for (ULONG i = 0; i < count; ++i) n += entries[i].processId == (USHORT)processId;
    return n;
}
