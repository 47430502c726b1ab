#include "timebase/clock.h"

namespace {

// A window that does not answer within this time is not waited for, so that
// no other program can freeze this one.
const UINT kTimeChangeTimeout_ms = 500;

void BroadcastTimeChange()
{
    SendMessageTimeoutA(HWND_BROADCAST, WM_TIMECHANGE, 0, 0, SMTO_ABORTIFHUNG, kTimeChangeTimeout_ms, NULL);
}

// The clock's lead over the monotonic clock at the last two ticks: a step
// that came just before a tick, whose notice comes after it, is still seen.
int64_t llLeadBefore = 0, llLeadLast = 0;
bool fLeadNoted = false;

int64_t ClockLead()
{
    uint64_t ms = MonotonicMs();
    return (int64_t)(NtpNow() - (((ms / 1000) << 32) + MillisecondsToNtp((uint32_t)(ms % 1000))));
}

// Later steps are measured from the lead as it reads now: after this
// program's own step (before its notice goes out), or after one told.
int64_t NoteLeadAfresh()
{
    llLeadBefore = llLeadLast = ClockLead();
    fLeadNoted = true;
    return llLeadLast;
}

// A privilege the token does not hold, or a call denied for the want of it.
ClockSetResult ResultOfError(DWORD dwError)
{
    bool fRights = dwError == ERROR_NOT_ALL_ASSIGNED || dwError == ERROR_PRIVILEGE_NOT_HELD ||
                   dwError == ERROR_ACCESS_DENIED;
    return fRights ? CLOCK_NOT_PERMITTED : CLOCK_FAILED;
}

// Systems without access tokens (the Windows 95 family) set the clock directly.
ClockSetResult SetClockWithoutToken(const SYSTEMTIME* pUtc)
{
    if (!clockCalls.SetSystemTime(pUtc)) return ResultOfError(clockCalls.GetLastError());
    NoteLeadAfresh();
    clockCalls.BroadcastTimeChange();
    return CLOCK_SET;
}

// With the privilege looked up: enable, set, notify, restore.
ClockSetResult SetClockWithPrivilege(HANDLE hToken, const LUID& luid, const SYSTEMTIME* pUtc)
{
    TOKEN_PRIVILEGES enable = {};
    enable.PrivilegeCount = 1;
    enable.Privileges[0].Luid = luid;
    enable.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
    TOKEN_PRIVILEGES previous = {};
    DWORD dwPreviousLength = sizeof previous;
    clockCalls.AdjustTokenPrivileges(hToken, FALSE, &enable, sizeof enable, &previous, &dwPreviousLength);
    // The call succeeds without enabling a privilege the account lacks
    // (ERROR_NOT_ALL_ASSIGNED): only the error code tells.
    DWORD dwError = clockCalls.GetLastError();
    if (dwError != ERROR_SUCCESS) return ResultOfError(dwError);

    ClockSetResult result = CLOCK_SET;
    if (clockCalls.SetSystemTime(pUtc)) {
        NoteLeadAfresh();
        clockCalls.BroadcastTimeChange();
    } else {
        result = ResultOfError(clockCalls.GetLastError());  // before the restore resets it
    }
    clockCalls.AdjustTokenPrivileges(hToken, FALSE, &previous, dwPreviousLength, NULL, NULL);
    return result;
}

typedef void(WINAPI* ReadFileTimeClock)(LPFILETIME utc);

// The clock to the 100 ns where the system has the call (Windows 8 on),
// else to its tick; looked up at start, so that older systems start too.
ReadFileTimeClock FinestClock()
{
    HMODULE hKernel = GetModuleHandleA("kernel32.dll");
    FARPROC precise = hKernel != NULL ? GetProcAddress(hKernel, "GetSystemTimePreciseAsFileTime") : NULL;
    return precise != NULL ? (ReadFileTimeClock)(void*)precise : GetSystemTimeAsFileTime;
}

}  // namespace

const ClockCalls realClockCalls = {
    FinestClock(), OpenProcessToken, LookupPrivilegeValueA, AdjustTokenPrivileges,
    GetLastError,  SetSystemTime,    BroadcastTimeChange,   CloseHandle,
    GetTickCount64,
};

ClockCalls clockCalls = realClockCalls;

NtpTimestamp NtpNow()
{
    FILETIME utc;
    clockCalls.GetSystemTimePreciseAsFileTime(&utc);
    return FileTimeToNtp((uint64_t(utc.dwHighDateTime) << 32) | utc.dwLowDateTime);
}

SYSTEMTIME NtpToLocalTime(NtpTimestamp t)
{
    SYSTEMTIME utc = NtpToSystemTime(t), local;
    if (!SystemTimeToTzSpecificLocalTime(NULL, &utc, &local)) local = utc;
    return local;
}

uint64_t MonotonicMs()
{
    return clockCalls.GetTickCount64();
}

int ClockPrecision()
{
    if (clockCalls.GetSystemTimePreciseAsFileTime != GetSystemTimeAsFileTime) return NtpPrecision(1);
    DWORD dwAdjustment = 0, dwIncrement = 0;
    BOOL fDisabled = FALSE;
    const DWORD kDefaultTick = 156250;  // 15.625 ms, where the system does not say
    if (!GetSystemTimeAdjustment(&dwAdjustment, &dwIncrement, &fDisabled)) dwIncrement = kDefaultTick;
    return NtpPrecision(dwIncrement);
}

ClockSetResult SetClockFromNtp(NtpTimestamp t)
{
    SYSTEMTIME utc = NtpToSystemTime(t);
    return SetSystemClock(&utc);
}

ClockSetResult SetSystemClock(const SYSTEMTIME* pUtc)
{
    HANDLE hToken = NULL;
    if (!clockCalls.OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &hToken)) {
        if (clockCalls.GetLastError() == ERROR_CALL_NOT_IMPLEMENTED) return SetClockWithoutToken(pUtc);
        return CLOCK_FAILED;  // its own token: no start with other rights would open it
    }
    ClockSetResult result = CLOCK_FAILED;
    LUID luid;
    if (clockCalls.LookupPrivilegeValueA(NULL, "SeSystemtimePrivilege", &luid)) {
        result = SetClockWithPrivilege(hToken, luid, pUtc);
    }
    clockCalls.CloseHandle(hToken);
    return result;
}

void NoteClockLead()
{
    int64_t llLead = ClockLead();
    llLeadBefore = fLeadNoted ? llLeadLast : llLead;
    llLeadLast = llLead;
    fLeadNoted = true;
}

int64_t ClockStepSinceNoted()
{
    bool fNoted = fLeadNoted;
    uint64_t qwBefore = (uint64_t)llLeadBefore;
    uint64_t qwNow = (uint64_t)NoteLeadAfresh();
    return fNoted ? (int64_t)(qwNow - qwBefore) : 0;
}
