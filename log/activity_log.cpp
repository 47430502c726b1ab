#include "log/activity_log.h"

#include "log/log_format.h"
#include "log/log_ring.h"
#include "timebase/clock.h"

namespace {

HANDLE hLogFile = INVALID_HANDLE_VALUE;

// Lines that other threads are handing over, one a slot: a message is
// believed only when its slot holds its very text, which it then empties.
const int kHandOverSlots = 8;
PVOID volatile apHandedOver[kHandOverSlots];

// Sends the line to hMain's thread through a free slot, and empties the slot
// again should hMain be gone before taking it. With every slot taken (eight
// threads logging at once) the line is dropped rather than waited for.
void HandOverLine(HWND hMain, const char* text)
{
    for (int i = 0; i < kHandOverSlots; ++i) {
        if (InterlockedCompareExchangePointer(&apHandedOver[i], (PVOID)text, NULL) != NULL) continue;
        SendMessageA(hMain, WM_APP_LOGLINE, (WPARAM)i, (LPARAM)text);
        InterlockedCompareExchangePointer(&apHandedOver[i], NULL, (PVOID)text);
        return;
    }
}

LogRing ring;
void (*OnLogChanged)() = NULL;
HWND volatile hOwner = NULL;  // the window on whose thread lines are appended

// On the owner's thread only, so that lines never interleave.
void AppendLine(const char* text)
{
    AppendToRing(&ring, text, NtpToLocalTime(NtpNow()));
    if (OnLogChanged != NULL) OnLogChanged();
}

}  // namespace

void LogLine(const char* text)
{
    HWND hMain = hOwner;  // read once: the window's thread clears it at the end
    DWORD owner = GetWindowThreadProcessId(hMain, NULL);
    if (owner == 0) return;
    if (owner == GetCurrentThreadId()) {
        AppendLine(text);
    } else {
        // A synchronous send keeps the text alive until the owner has appended
        // it, and the owner appends it between two of its own lines.
        HandOverLine(hMain, text);
    }
}

int LogLineCount()
{
    return ring.nCount;
}

const char* LogLineAt(int i)
{
    return RingLine(&ring, i);
}

uint64_t LogSequence()
{
    return ring.qwAppended;
}

void SetLogOwner(HWND hwnd)
{
    hOwner = hwnd;
}

void SetLogView(void (*onChanged)())
{
    OnLogChanged = onChanged;
}

void LogError(const char* name, int code)
{
    LogLineBuffer line;
    FormatErrorLine(line, name, code);
    LogLine(line);
}

void OpenLogFile(const char* name)
{
    (void)name;  // the mirror is not written; the log lives in memory only
    CloseLogFile();
}

void CloseLogFile()
{
    if (hLogFile != INVALID_HANDLE_VALUE) {
        CloseHandle(hLogFile);
        hLogFile = INVALID_HANDLE_VALUE;
    }
}

void OnLogLineMessage(WPARAM wParam, LPARAM lParam)
{
    if (wParam >= (WPARAM)kHandOverSlots || lParam == 0) return;
    if (InterlockedCompareExchangePointer(&apHandedOver[wParam], NULL, (PVOID)lParam) != (PVOID)lParam) return;
    AppendLine((const char*)lParam);
}
