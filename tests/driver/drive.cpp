// Runs the real program for a script: writes its settings, starts it, and
// prints its log when the run is over.
//
//   drive.exe SECONDS UNTIL STOPFILE [NAME=VALUE ...]
//
// The run ends when a log line begins with UNTIL (code page 932 bytes in
// hex, or "-" for none; half a second later, to take the lines that
// follow), when the file STOPFILE exists, when the program ends by itself,
// or after SECONDS. VALUE "s:text" is stored as REG_SZ, any other as a
// REG_DWORD. Printed: "log: " and each line in UTF-8, then "exit: " and the
// program's exit code.
#include <windows.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <string>
#include <vector>

#include "driver.h"

namespace {

std::string FromHex(const char* hex)
{
    std::string bytes;
    for (size_t i = 0; hex[i] && hex[i + 1]; i += 2) {
        char pair[3] = {hex[i], hex[i + 1], 0};
        bytes += (char)strtol(pair, NULL, 16);
    }
    return bytes;
}

bool HasLineStartingWith(const std::vector<std::string>& log, const std::string& prefix)
{
    for (const std::string& line : log) {
        if (!prefix.empty() && line.compare(0, prefix.size(), prefix) == 0) return true;
    }
    return false;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 4) return 2;
    const DWORD dwLimit = (DWORD)atoi(argv[1]) * 1000;
    const std::string until = strcmp(argv[2], "-") == 0 ? "" : FromHex(argv[2]);
    const char* stopFile = argv[3];
    StoreSettings(argc - 4, argv + 4);

    RunningProgram program;
    if (!StartProgram(&program)) {
        printf("exit: did not start\n");
        return 1;
    }
    std::vector<std::string> log;
    DWORD start = GetTickCount();
    DWORD dwSeenAt = 0;
    while (GetTickCount() - start < dwLimit && GetFileAttributesA(stopFile) == INVALID_FILE_ATTRIBUTES) {
        if (WaitForSingleObject(program.pi.hProcess, 100) == WAIT_OBJECT_0) break;
        // A snapshot counts only when the list outlived its reading whole.
        HWND hList = GetDlgItem(program.hMain, 1012);
        std::vector<std::string> now = ListBoxLines(hList);
        if (!now.empty() && now.back().empty() && IsWindow(hList)) log = now;
        if (dwSeenAt == 0 && HasLineStartingWith(log, until)) dwSeenAt = GetTickCount();
        if (dwSeenAt != 0 && GetTickCount() - dwSeenAt >= 500) break;
    }
    int exitCode = EndProgram(&program);
    for (const std::string& line : log) printf("log: %s\n", Utf8(line).c_str());
    printf("exit: %d\n", exitCode);
    return 0;
}
