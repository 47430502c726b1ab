// Driving the real tamarin-time.exe from outside, as the desktop does: start
// it, find its windows, read its controls, and look at its settings key.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

struct RunningProgram {
    PROCESS_INFORMATION pi;
    HWND hMain;  // the settings window
    HWND hTray;  // the hidden tray window
};

// Starts the program (the one named by TAMARIN_EXE when set) and waits until its start-up is over and its message
// loop runs; false when its windows did not come within ten seconds. With
// windowMs, the time from its start to its settings window existing, polled
// each millisecond.
bool StartProgram(RunningProgram* program, double* windowMs = NULL);

// Asks the program to end (WM_CLOSE to its main window); its exit code, or
// -1 when it did not end within ten seconds.
int EndProgram(RunningProgram* program, HWND hTarget = NULL);

// A top-level window of the process with this class and caption (either
// may be NULL), waiting up to timeoutMs for it.
HWND WaitForWindow(DWORD processId, const char* szClass, const char* szCaption, DWORD timeoutMs = 10000);

// Another process's texts, read in UTF-16 and turned back into code page 932.
std::string WindowText(HWND hwnd);
// The list box's lines, or only its last ones when last is above zero; the
// log's list box is brought up to date first.
std::vector<std::string> ListBoxLines(HWND hList, int last = 0);

// Milliseconds since a performance-counter reading.
double MillisecondsSince(LARGE_INTEGER start);

// Code page 932 text as UTF-8, for printing.
std::string Utf8(const std::string& cp932);

// The number of icons in Wine's notification area.
int TrayIconCount();

// The settings key of the current user, shared with the program in the prefix.
void DeleteSettingsKey();

// The history that earlier runs kept in the prefix goes, so that a run
// starts with none.
void ForgetHistory();
// Any value as given, a malformed one too.
void WriteSetting(const char* name, DWORD dwType, const void* data, DWORD cbData);
void WriteSettingDword(const char* name, DWORD value);
bool ReadSetting(const char* name, DWORD* pdwType, std::vector<BYTE>* data);

// Replaces the settings key with NAME=VALUE pairs: "s:text" is stored as
// REG_SZ, any other value as a REG_DWORD.
void StoreSettings(int count, char** pairs);

// A process's handles, sockets among them, as the system lists them
// (GetCountProcessHandles is not kept under Wine); -1 when unknown.
int CountProcessHandles(DWORD processId);
