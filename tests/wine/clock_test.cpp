#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "timebase/clock.h"

namespace {

// NTP seconds from the system's FILETIME clock, counted independently:
// 100 ns ticks since 1601-01-01, which lies 9435484800 s before 1900-01-01.
int64_t NtpSecondsFromFileTime()
{
    FILETIME ft;
    GetSystemTimeAsFileTime(&ft);
    uint64_t ticks = (uint64_t(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
    return int64_t(ticks / 10000000u) - 9435484800LL;
}

TEST(Clock, NowReadsTheSystemClockAsNtpTime)
{
    int64_t before = NtpSecondsFromFileTime();
    NtpTimestamp now = NtpNow();
    int64_t after = NtpSecondsFromFileTime();
    // Until 2036 the seconds are those since 1900 without wrapping.
    EXPECT_GE(int64_t(now >> 32), before);
    EXPECT_LE(int64_t(now >> 32), after);
}

// A token and clock of the test's own behind the platform calls: it records
// each call and keeps the privilege's state the way a token does.
namespace fake {

HANDLE const kToken = (HANDLE)0x7E57;
std::vector<std::string> calls;
DWORD dwOpenError;       // 0: the token opens
bool fLookupFails;
bool fPrivilegeHeld;
bool fPrivilegeEnabled;
bool fClockAccepts;
DWORD dwSetError;  // why a time is refused
DWORD dwLastError;
SYSTEMTIME stSet;

BOOL WINAPI OpenProcessToken(HANDLE, DWORD access, PHANDLE token)
{
    calls.push_back("open " + std::to_string(access));
    dwLastError = dwOpenError;
    if (dwOpenError != 0) return FALSE;
    *token = kToken;
    return TRUE;
}

BOOL WINAPI LookupPrivilegeValueA(LPCSTR system, LPCSTR name, PLUID luid)
{
    calls.push_back(std::string("lookup ") + (system ? system : "local") + " " + name);
    luid->LowPart = 42;
    luid->HighPart = 0;
    return !fLookupFails;
}

BOOL WINAPI AdjustTokenPrivileges(HANDLE token, BOOL disableAll, PTOKEN_PRIVILEGES newState, DWORD length,
                                  PTOKEN_PRIVILEGES previousState, PDWORD returnLength)
{
    EXPECT_EQ(token, kToken);
    EXPECT_FALSE(disableAll);
    EXPECT_EQ(newState->PrivilegeCount, 1u);
    EXPECT_EQ(newState->Privileges[0].Luid.LowPart, 42u);
    bool fEnable = newState->Privileges[0].Attributes & SE_PRIVILEGE_ENABLED;
    if (previousState != NULL) {
        EXPECT_EQ(*returnLength, sizeof(TOKEN_PRIVILEGES));
        previousState->PrivilegeCount = 1;
        previousState->Privileges[0].Luid = newState->Privileges[0].Luid;
        previousState->Privileges[0].Attributes = fPrivilegeEnabled ? SE_PRIVILEGE_ENABLED : 0;
        *returnLength = sizeof(TOKEN_PRIVILEGES);
        calls.push_back("enable");
    } else {
        EXPECT_EQ(returnLength, nullptr);
        calls.push_back(fEnable ? "restore enabled" : "restore disabled");
    }
    EXPECT_EQ(length, sizeof(TOKEN_PRIVILEGES));
    if (fPrivilegeHeld) fPrivilegeEnabled = fEnable;
    dwLastError = fPrivilegeHeld ? ERROR_SUCCESS : ERROR_NOT_ALL_ASSIGNED;
    return TRUE;  // also when not all was assigned
}

DWORD WINAPI GetLastError()
{
    return dwLastError;
}

// The clock reads what was set last.
void WINAPI ReadSetClock(LPFILETIME utc)
{
    SystemTimeToFileTime(&stSet, utc);
}

BOOL WINAPI SetSystemTime(const SYSTEMTIME* utc)
{
    calls.push_back(fPrivilegeEnabled || dwOpenError ? "set" : "set without privilege");
    stSet = *utc;
    if (!fClockAccepts) dwLastError = dwSetError;
    return fClockAccepts;
}

void BroadcastTimeChange()
{
    calls.push_back("notify");
}

BOOL WINAPI CloseHandle(HANDLE handle)
{
    EXPECT_EQ(handle, kToken);
    calls.push_back("close");
    return TRUE;
}

}  // namespace fake

class SetClock : public testing::Test {
protected:
    void SetUp() override
    {
        fake::calls.clear();
        fake::dwOpenError = 0;
        fake::fLookupFails = false;
        fake::fPrivilegeHeld = true;
        fake::fPrivilegeEnabled = false;
        fake::fClockAccepts = true;
        fake::dwSetError = ERROR_INVALID_PARAMETER;
        clockCalls = {realClockCalls.GetSystemTimePreciseAsFileTime,
                      fake::OpenProcessToken,
                      fake::LookupPrivilegeValueA,
                      fake::AdjustTokenPrivileges,
                      fake::GetLastError,
                      fake::SetSystemTime,
                      fake::BroadcastTimeChange,
                      fake::CloseHandle,
                      realClockCalls.GetTickCount64};
    }
    void TearDown() override { clockCalls = realClockCalls; }

    typedef std::vector<std::string> Calls;
    const std::string open = "open 40";  // TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY
    const std::string lookup = "lookup local SeSystemtimePrivilege";
};

TEST_F(SetClock, EnablesSetsNotifiesRestoresCloses)
{
    EXPECT_EQ(SetClockFromNtp(0xEEC0758000418937ull), CLOCK_SET);  // 2026-12-07, just under 1 ms
    EXPECT_EQ(fake::calls, (Calls{open, lookup, "enable", "set", "notify", "restore disabled", "close"}));
    EXPECT_FALSE(fake::fPrivilegeEnabled);
    EXPECT_EQ(fake::stSet.wYear, 2026);
    EXPECT_EQ(fake::stSet.wDay, 7);
    EXPECT_EQ(fake::stSet.wMilliseconds, 0);

    // A privilege that was enabled before stays enabled.
    fake::calls.clear();
    fake::fPrivilegeEnabled = true;
    EXPECT_EQ(SetClockFromNtp(0xEEC0758000000000ull), CLOCK_SET);
    EXPECT_EQ(fake::calls, (Calls{open, lookup, "enable", "set", "notify", "restore enabled", "close"}));
    EXPECT_TRUE(fake::fPrivilegeEnabled);
}

TEST_F(SetClock, RefusedTimeIsNotAnnouncedAndPrivilegeIsRestored)
{
    // A refusal for the want of the right is told apart from any other.
    const struct {
        DWORD dwError;
        ClockSetResult result;
    } rows[] = {
        {ERROR_PRIVILEGE_NOT_HELD, CLOCK_NOT_PERMITTED},
        {ERROR_ACCESS_DENIED, CLOCK_NOT_PERMITTED},
        {ERROR_INVALID_PARAMETER, CLOCK_FAILED},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.dwError);
        fake::calls.clear();
        fake::fClockAccepts = false;
        fake::dwSetError = row.dwError;
        EXPECT_EQ(SetClockFromNtp(0xEEC0758000000000ull), row.result);
        EXPECT_EQ(fake::calls, (Calls{open, lookup, "enable", "set", "restore disabled", "close"}));
        EXPECT_FALSE(fake::fPrivilegeEnabled);
    }
}

TEST_F(SetClock, PrivilegeNotHeldLeavesTheClockAlone)
{
    fake::fPrivilegeHeld = false;
    EXPECT_EQ(SetClockFromNtp(0xEEC0758000000000ull), CLOCK_NOT_PERMITTED);
    EXPECT_EQ(fake::calls, (Calls{open, lookup, "enable", "close"}));

    fake::calls.clear();
    fake::fPrivilegeHeld = true;
    fake::fLookupFails = true;
    EXPECT_EQ(SetClockFromNtp(0xEEC0758000000000ull), CLOCK_FAILED);
    EXPECT_EQ(fake::calls, (Calls{open, lookup, "close"}));
}

TEST_F(SetClock, WithoutAccessTokensTheClockIsSetDirectly)
{
    fake::dwOpenError = ERROR_CALL_NOT_IMPLEMENTED;
    EXPECT_EQ(SetClockFromNtp(0xEEC0758000000000ull), CLOCK_SET);
    EXPECT_EQ(fake::calls, (Calls{open, "set", "notify"}));

    fake::calls.clear();
    fake::fClockAccepts = false;
    EXPECT_EQ(SetClockFromNtp(0xEEC0758000000000ull), CLOCK_FAILED);
    EXPECT_EQ(fake::calls, (Calls{open, "set"}));
    fake::calls.clear();
    fake::dwSetError = ERROR_PRIVILEGE_NOT_HELD;
    EXPECT_EQ(SetClockFromNtp(0xEEC0758000000000ull), CLOCK_NOT_PERMITTED);

    // Any other reason the token cannot be opened: the clock is not touched.
    fake::calls.clear();
    fake::dwOpenError = ERROR_ACCESS_DENIED;
    EXPECT_EQ(SetClockFromNtp(0xEEC0758000000000ull), CLOCK_FAILED);
    EXPECT_EQ(fake::calls, (Calls{open}));
}

// A set here is no step by another; another's step between two ticks is
// measured whole, and from then on afresh.
TEST_F(SetClock, OnlyAnotherProgramsStepIsMeasured)
{
    fake::stSet = SYSTEMTIME{2026, 12, 4, 10, 14, 3, 38, 0};
    clockCalls.GetSystemTimePreciseAsFileTime = fake::ReadSetClock;
    clockCalls.GetTickCount64 = [] { return 5000ull; };
    NoteClockLead();
    EXPECT_EQ(SetClockFromNtp(NtpNow() + (3600ull << 32)), CLOCK_SET);
    EXPECT_EQ(ClockStepSinceNoted(), 0);
    NoteClockLead();
    fake::stSet.wMinute = 2;  // another program sets it a minute back
    NoteClockLead();          // a tick came before the notice
    EXPECT_EQ(ClockStepSinceNoted(), -(60ll << 32));
    EXPECT_EQ(ClockStepSinceNoted(), 0);
}

// Under Wine the real calls never move the host's clock: a step within half a
// second of now is accepted and does nothing, a larger one is refused as if
// the privilege were not held.
int timeChanges = 0;

LRESULT CALLBACK CountTimeChanges(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (msg == WM_TIMECHANGE) ++timeChanges;
    return DefWindowProcA(hwnd, msg, wParam, lParam);
}

bool SystemTimePrivilegeEnabled()
{
    HANDLE hToken;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &hToken)) return false;
    LUID luid;
    LookupPrivilegeValueA(NULL, "SeSystemtimePrivilege", &luid);
    PRIVILEGE_SET set = {1, PRIVILEGE_SET_ALL_NECESSARY, {{luid, 0}}};
    BOOL fEnabled = FALSE;
    PrivilegeCheck(hToken, &set, &fEnabled);
    CloseHandle(hToken);
    return fEnabled;
}

TEST(Clock, RealCallsUnderWineAnnounceOnlyATimeThatWasSet)
{
    WNDCLASSA wc = {};
    wc.lpfnWndProc = CountTimeChanges;
    wc.hInstance = GetModuleHandleA(NULL);
    wc.lpszClassName = "TamarinTimeTestTimeChange";
    RegisterClassA(&wc);
    HWND hwnd = CreateWindowA(wc.lpszClassName, "", WS_OVERLAPPEDWINDOW, 0, 0, 10, 10, NULL, NULL, wc.hInstance, NULL);
    ASSERT_NE(hwnd, (HWND)NULL);
    ASSERT_FALSE(SystemTimePrivilegeEnabled());

    EXPECT_EQ(SetClockFromNtp(NtpNow()), CLOCK_SET);
    EXPECT_EQ(timeChanges, 1);
    EXPECT_FALSE(SystemTimePrivilegeEnabled());

    EXPECT_EQ(SetClockFromNtp(NtpNow() + (3600ull << 32)), CLOCK_NOT_PERMITTED);
    EXPECT_EQ(timeChanges, 1);
    EXPECT_FALSE(SystemTimePrivilegeEnabled());
    DestroyWindow(hwnd);
}

}  // namespace
