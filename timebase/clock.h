// The system clock: read as an NtpTimestamp, and set with the privilege that
// setting it needs, telling every top-level window afterwards. Nothing here
// writes to the log; callers report a false result.
#pragma once

#include "timebase/ntp_time.h"

// The system clock in UTC, at the finest resolution the system reads it.
NtpTimestamp NtpNow();

// A timestamp as the local time of its date, by the user's time zone and its
// daylight-saving rule; as UTC when the system cannot convert it.
SYSTEMTIME NtpToLocalTime(NtpTimestamp t);

// Milliseconds since the system started, counting its sleep: a clock that
// corrections of the system clock never step, for the client's waits.
uint64_t MonotonicMs();

// The precision of NtpNow's readings as a power of two in seconds: 100 ns
// where it reads the fine clock, else the step of the system's tick.
int ClockPrecision();

// How a request to set the clock ended. A lack of the right is told apart:
// the user can cure it with an elevated start.
enum ClockSetResult {
    CLOCK_SET,
    CLOCK_NOT_PERMITTED,  // the privilege is not held, or the system denied the call for it
    CLOCK_FAILED,         // any other reason
};

// Sets the clock to t (milliseconds truncated).
ClockSetResult SetClockFromNtp(NtpTimestamp t);

// Sets the clock to a UTC record: enables the system-time privilege for the
// one call and puts it back as it was; broadcasts WM_TIMECHANGE only when the
// clock was set.
ClockSetResult SetSystemClock(const SYSTEMTIME* pUtc);

// Steps of the clock that this program did not make. The clock's lead over
// the monotonic clock, which never steps, is read at each tick and after
// each setting of the clock here; a step shows as a change of it.
void NoteClockLead();

// On WM_TIMECHANGE: how far (32.32, signed) the clock moved since the tick
// before the last one, or since it was last set here, whichever came later;
// later steps are measured from now.
int64_t ClockStepSinceNoted();

// The platform calls that read and set the clock, replaceable so that tests
// can read a clock that stands still and walk the paths a real system will
// not show (sleep, no access tokens, a privilege not held, a time refused after the
// privilege was enabled).
struct ClockCalls {
    void(WINAPI* GetSystemTimePreciseAsFileTime)(LPFILETIME utc);
    BOOL(WINAPI* OpenProcessToken)(HANDLE process, DWORD access, PHANDLE token);
    BOOL(WINAPI* LookupPrivilegeValueA)(LPCSTR system, LPCSTR name, PLUID luid);
    BOOL(WINAPI* AdjustTokenPrivileges)(HANDLE token, BOOL disableAll, PTOKEN_PRIVILEGES newState, DWORD length,
                                        PTOKEN_PRIVILEGES previousState, PDWORD returnLength);
    DWORD(WINAPI* GetLastError)();
    BOOL(WINAPI* SetSystemTime)(const SYSTEMTIME* utc);
    void (*BroadcastTimeChange)();
    BOOL(WINAPI* CloseHandle)(HANDLE handle);
    ULONGLONG(WINAPI* GetTickCount64)();
};

extern ClockCalls clockCalls;  // the real calls unless a test replaced them
extern const ClockCalls realClockCalls;
