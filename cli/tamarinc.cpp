// tamarinc: the engine's state for cmd, PowerShell and scripts, asked over
// the control pipe of whichever program hosts it (the service or the window
// program). Never a window; text in the console's code page (932).
//
//   tamarinc status   exit 0: synchronised and checked; 1: not; 2: no engine runs
//   tamarinc resync   polls now and waits for the reply (a minute at most); the same codes
#include <windows.h>
#include <stdio.h>
#include <string.h>

#include "control/control_call.h"

namespace {

const DWORD kStatusWait_ms = 5000;
const DWORD kResyncWait_ms = 65000;  // the engine's minute, and the way to it
const int EXIT_CHECKED = 0, EXIT_NOT_CHECKED = 1, EXIT_NO_ENGINE = 2;

bool Ask(uint32_t dwCommand, ControlStatus* status)
{
    DWORD dwWait = dwCommand == CONTROL_RESYNC ? kResyncWait_ms : kStatusWait_ms;
    return CallControlPipe(ControlRequestOf(dwCommand), status, sizeof *status, dwWait) && status->dwResult != CONTROL_UNKNOWN;
}

const char* StateWords(int32_t nStatus)
{
    switch (nStatus) {
    case 0: return "オフライン";
    case 1: return "接続中";
    case 2: return "オンライン";
    case 3: return "再試行待ち";
    }
    return "?";
}

// NTP time to the local time of day, "YYYY/MM/DD hh:mm:ss".
void FormatLocalTime(uint64_t qwNtp, char* szText, size_t cb)
{
    const uint64_t kNtpToFileTimeSeconds = 9435484800ull;  // 1601-01-01 to 1900-01-01
    ULARGE_INTEGER ticks;
    ticks.QuadPart = ((qwNtp >> 32) + kNtpToFileTimeSeconds) * 10000000ull +
                     (((qwNtp & 0xFFFFFFFFull) * 10000000ull) >> 32);
    FILETIME ftUtc = {ticks.LowPart, ticks.HighPart}, ftLocal;
    SYSTEMTIME st;
    FileTimeToLocalFileTime(&ftUtc, &ftLocal);
    FileTimeToSystemTime(&ftLocal, &st);
    snprintf(szText, cb, "%04u/%02u/%02u %02u:%02u:%02u", st.wYear, st.wMonth, st.wDay, st.wHour, st.wMinute,
             st.wSecond);
}

void PrintStatus(const ControlStatus& s)
{
    printf("状態: %s、%s\n", StateWords(s.nStatus),
           s.fChecked ? "同期済み" : s.fSynchronized ? "同期済み(確認が古い)" : "未同期");
    printf("サーバー: %s", s.szServer);
    if (s.wServerPort != 0) {
        printf(" (%u.%u.%u.%u:%u)", s.abServerAddress[0], s.abServerAddress[1], s.abServerAddress[2],
               s.abServerAddress[3], (unsigned)((s.wServerPort & 0xFF) << 8 | s.wServerPort >> 8));
    }
    printf("\n");
    if (s.qwLastJudged != 0) {
        char szWhen[32];
        FormatLocalTime(s.qwLastJudged, szWhen, sizeof szWhen);
        double offset = (double)s.llLastOffset / 4294967296.0;
        printf("最終同期: %s (差 %+.3f秒)", szWhen, offset);
        if (s.nSources > 1) printf(" 一致 %u/%u", s.nAgreeing, s.nSources);
        printf("\n");
    } else {
        printf("最終同期: なし\n");
    }
    printf("ポーリング間隔: %u秒\n", s.nInterval_sec);
    if (s.fServerModeRunning) {
        printf("サーバーモード: 動作中 (階層 %d)\n", s.nServedStratum);
    } else {
        printf("サーバーモード: 停止中\n");
    }
}

int Usage()
{
    fprintf(stderr, "使い方: tamarinc status | tamarinc resync\n");
    return EXIT_NO_ENGINE;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 2) return Usage();
    uint32_t dwCommand = 0;
    if (strcmp(argv[1], "status") == 0) dwCommand = CONTROL_STATUS;
    if (strcmp(argv[1], "resync") == 0) dwCommand = CONTROL_RESYNC;
    if (dwCommand == 0) return Usage();
    ControlStatus status = {};
    if (!Ask(dwCommand, &status)) {
        printf("Tamarin Time は動いていません\n");
        return EXIT_NO_ENGINE;
    }
    if (status.dwResult == CONTROL_TIMED_OUT) printf("1分以内に応答がありませんでした\n");
    PrintStatus(status);
    return status.fChecked ? EXIT_CHECKED : EXIT_NOT_CHECKED;
}
