// A remote control for the real program, for scripts that act on it while
// it runs (floods, toggles, faults, measurements) or only watch it run. It
// stores the settings, starts the program, and then answers one UDP datagram
// of command with one datagram of answer on 127.0.0.1:PORT until "stop"
// (a command may start with a tag "#N ", which its answer then starts with):
//
//   control.exe PORT [NAME=VALUE ...]
//
// It starts the build's tamarin-time.exe, or the copy TAMARIN_EXE names.
//
//   ping                 "ok"
//   started              "ok PID MS": the program's process and the time from
//                        its start to its settings window existing
//   toggle N             clicks オンライン/オフライン N times, pausing 0, 1,
//                        3, 10 or 30 ms in turn, so that many clicks land in
//                        the middle of a lookup
//   command ID           sends the menu command ID
//   post MSG WP LP       posts the message MSG to the program's window, as
//                        any other program on the desktop could
//   shown                "yes" when the settings window is visible, else "no"
//   probe MS TIMEOUT [GAP]  for MS ms, sends WM_NULL through the program's
//                        window with SendMessageTimeout, GAP ms apart (1 ms
//                        if not given); "N FAILED P50 P99 MAX", the round
//                        trips in microseconds
//   count                the log's entries
//   handles              the program's handles, as the system lists them
//   text ID              a control's text, in UTF-8
//   log [N]              the log's lines (the last N), in UTF-8, one per line;
//                        once the program has ended, the copy kept of them
//   wait MS              waits up to MS ms for the program to end by itself,
//                        reading its log every 100 ms: "exit CODE", or
//                        "running"
//   stop                 ends the program, or takes the code it ended with:
//                        "exit CODE"
//
// Each whole reading of the log, by "log" or "wait", is kept as its copy. It
// is not read while idle: the program handles each line's message before its
// own posted messages, so reading 500 lines holds up its lookups and timer by
// about half a second.
#include <winsock2.h>
#include <windows.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <algorithm>
#include <string>
#include <vector>

#include "driver.h"
#include "resources/resource.h"

namespace {

std::string Toggle(HWND hMain, int count)
{
    static const DWORD kPauses[] = {0, 1, 3, 10, 30};
    for (int i = 0; i < count; ++i) {
        SendMessageA(hMain, WM_COMMAND, IDM_ONLINE, 0);
        Sleep(kPauses[i % 5]);
    }
    return "ok";
}

std::string Probe(HWND hMain, DWORD dwMs, UINT uTimeout, DWORD dwGap)
{
    std::vector<double> trips;
    int failed = 0;
    LARGE_INTEGER begin, sent;
    QueryPerformanceCounter(&begin);
    while (MillisecondsSince(begin) < dwMs) {
        DWORD_PTR result;
        QueryPerformanceCounter(&sent);
        if (!SendMessageTimeoutA(hMain, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, uTimeout, &result)) ++failed;
        trips.push_back(MillisecondsSince(sent) * 1000);
        Sleep(dwGap);
    }
    std::sort(trips.begin(), trips.end());
    auto at = [&](double q) { return trips.empty() ? 0.0 : trips[(size_t)(q * (trips.size() - 1))]; };
    char answer[128];
    snprintf(answer, sizeof answer, "%u %d %.0f %.0f %.0f", (unsigned)trips.size(), failed, at(0.5), at(0.99),
             trips.empty() ? 0.0 : trips.back());
    return answer;
}

// The last whole copy of the log, for when the program's window is gone.
std::vector<std::string> lastLog;

bool Ended(RunningProgram* program)
{
    return WaitForSingleObject(program->pi.hProcess, 0) == WAIT_OBJECT_0;
}

// The log's lines, or its last ones. A reading of all of them becomes the
// copy when the list outlived it whole and it did not catch a line before
// its empty entry.
std::vector<std::string> ReadLog(RunningProgram* program, unsigned last)
{
    HWND hList = GetDlgItem(program->hMain, IDC_LOG);
    std::vector<std::string> lines = ListBoxLines(hList, (int)last);
    if (last == 0 && !lines.empty() && lines.back().empty() && IsWindow(hList)) lastLog = lines;
    return lines;
}

std::string Log(RunningProgram* program, unsigned last)
{
    std::vector<std::string> log = Ended(program) ? lastLog : ReadLog(program, last);
    if (last > 0 && last < log.size()) log.erase(log.begin(), log.end() - last);
    std::string lines;
    for (const std::string& line : log) lines += Utf8(line) + "\n";
    return lines;
}

std::string Wait(RunningProgram* program, DWORD dwMs)
{
    DWORD start = GetTickCount();
    while (WaitForSingleObject(program->pi.hProcess, 100) != WAIT_OBJECT_0) {
        ReadLog(program, 0);
        if (GetTickCount() - start >= dwMs) return "running";
    }
    DWORD exitCode;
    GetExitCodeProcess(program->pi.hProcess, &exitCode);
    return "exit " + std::to_string((int)exitCode);
}

std::string Answer(RunningProgram* program, double startMs, const char* command, bool* stop)
{
    char verb[32] = {};
    unsigned long long a = 0, b = 0, c = 0;
    sscanf(command, "%31s %llu %llu %llu", verb, &a, &b, &c);
    HWND hMain = program->hMain;
    char answer[64];
    if (strcmp(verb, "started") == 0) {
        snprintf(answer, sizeof answer, "ok %lu %.1f", program->pi.dwProcessId, startMs);
        return answer;
    }
    if (strcmp(verb, "toggle") == 0) return Toggle(hMain, (int)a);
    if (strcmp(verb, "command") == 0) {
        DWORD_PTR result;
        SendMessageTimeoutA(hMain, WM_COMMAND, a, 0, SMTO_ABORTIFHUNG, 5000, &result);
        return "ok";
    }
    if (strcmp(verb, "shown") == 0) return IsWindowVisible(hMain) ? "yes" : "no";
    if (strcmp(verb, "post") == 0) return PostMessageA(hMain, (UINT)a, (WPARAM)b, (LPARAM)c) ? "ok" : "failed";
    if (strcmp(verb, "probe") == 0) return Probe(hMain, (DWORD)a, (UINT)b, c > 0 ? (DWORD)c : 1);
    if (strcmp(verb, "count") == 0) return std::to_string(SendMessageW(GetDlgItem(hMain, IDC_LOG), LB_GETCOUNT, 0, 0));
    if (strcmp(verb, "handles") == 0) return std::to_string(CountProcessHandles(program->pi.dwProcessId));
    if (strcmp(verb, "text") == 0) return Utf8(WindowText(GetDlgItem(hMain, (int)a)));
    if (strcmp(verb, "log") == 0) return Log(program, (unsigned)a);
    if (strcmp(verb, "wait") == 0) return Wait(program, (DWORD)a);
    if (strcmp(verb, "stop") == 0) {
        *stop = true;  // a program that ended by itself gives its code at once
        return "exit " + std::to_string(EndProgram(program));
    }
    return "ok";
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 2) return 2;
    WSADATA wsa;
    WSAStartup(MAKEWORD(2, 2), &wsa);
    SOCKET sock = socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in local = {};
    local.sin_family = AF_INET;
    local.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    local.sin_port = htons((u_short)atoi(argv[1]));
    if (bind(sock, (sockaddr*)&local, sizeof local) != 0) return 1;

    StoreSettings(argc - 2, argv + 2);
    RunningProgram program;
    double startMs = 0;
    if (!StartProgram(&program, &startMs)) return 1;

    bool stop = false;
    while (!stop) {
        static char command[256];
        sockaddr_in from;
        int fromLength = sizeof from;
        int n = recvfrom(sock, command, sizeof command - 1, 0, (sockaddr*)&from, &fromLength);
        if (n <= 0) continue;
        command[n] = 0;
        // A tag "#N " in front comes back in front of the answer, so that the
        // caller can tell the answer it waits for from a late one.
        const char* text = command;
        const char* space = command[0] == '#' ? strchr(command, ' ') : NULL;
        if (space != NULL) text = space + 1;
        std::string answer = std::string(command, text - command) + Answer(&program, startMs, text, &stop);
        sendto(sock, answer.data(), (int)answer.size(), 0, (sockaddr*)&from, fromLength);
    }
    closesocket(sock);
    return 0;
}
