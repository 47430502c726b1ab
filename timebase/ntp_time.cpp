#include "timebase/ntp_time.h"

namespace {

// Days from the 1st of March to the 1st of each month, plus 58, with January
// and February counted at the end of a year that begins on March 1.
// Entry 0 belongs to no month.
const uint16_t kMonthOffset[13] = {0, 364, 395, 58, 89, 119, 150, 180, 211, 242, 272, 303, 333};

// March to February. February may list 29 days: the month walk reaches it
// with at most 28 days left unless the day is a February 29.
const uint8_t kMonthLength[12] = {31, 30, 31, 30, 31, 31, 30, 31, 30, 31, 31, 29};

struct YearBlock {
    uint32_t dwDays;
    uint16_t wYears;
};

// Whole years from a March 1 on, with a leap day ending every fourth year.
const YearBlock kYearBlocks[] = {
    {23376, 64}, {11688, 32}, {5844, 16}, {2922, 8}, {1461, 4}, {730, 2}, {365, 1},
};

struct CalendarBase {
    uint32_t dwDay;  // days since 1900-01-01
    uint16_t wYear;  // the base is March 1 of this year
};

// The year blocks hold only between century years that are not leap years,
// so each stretch starts afresh on the March 1 after one. Latest first.
const CalendarBase kCalendarBases[] = {
    {73108, 2100},  // 2100-03-01
    {46811, 2028},  // 2028-03-01, keeps the blocks short
    {59, 1900},     // 1900-03-01
};

const uint32_t kSecondsPerDay = 86400;

// 1900-01-01 is day 693960 of SystemTimeToNtp's day numbering; this constant
// is 2^32 - (693960 * 86400 mod 2^32), so that 1900-01-01 encodes to 0.
const uint32_t kEpochAdjustment = 171398144;

// 2^32 seconds, the length of one era: 49710 days and 23296 seconds.
const uint32_t kEraDays = 49710;
const uint32_t kEraRemainder = 23296;

void SetDate(SYSTEMTIME* st, uint32_t dwDay)
{
    const CalendarBase* base = kCalendarBases;
    while (dwDay < base->dwDay) ++base;  // the last base is below every day decoded

    uint32_t o = dwDay - base->dwDay;
    uint16_t wYear = base->wYear;
    for (const YearBlock& block : kYearBlocks) {
        if (o >= block.dwDays) {
            o -= block.dwDays;
            wYear = uint16_t(wYear + block.wYears);
        }
    }
    int month = 0;  // 0 is March
    while (o >= kMonthLength[month]) {
        o -= kMonthLength[month];
        ++month;
    }
    st->wDay = uint16_t(o + 1);
    if (month < 10) {
        st->wMonth = uint16_t(month + 3);
        st->wYear = wYear;
    } else {
        st->wMonth = uint16_t(month - 9);
        st->wYear = uint16_t(wYear + 1);
    }
}

}  // namespace

NtpTimestamp SystemTimeToNtp(const SYSTEMTIME* pUtc)
{
    if (pUtc->wMonth < 1 || pUtc->wMonth > 12 || pUtc->wMilliseconds > 999) return 0;

    // January and February belong to the year that began the March before.
    uint16_t a = uint16_t(pUtc->wYear - (pUtc->wMonth < 3 ? 1 : 0));
    uint32_t d = pUtc->wDay + kMonthOffset[pUtc->wMonth] + 365u * a + a / 4u - a / 100u + a / 400u;
    uint32_t s = ((d * 24u + pUtc->wHour) * 60u + pUtc->wMinute) * 60u + pUtc->wSecond + kEpochAdjustment;
    uint32_t f = uint32_t((uint64_t(pUtc->wMilliseconds) << 32) / 1000u);
    return (NtpTimestamp(s) << 32) | f;
}

NtpTimestamp FileTimeToNtp(uint64_t qwTicks)
{
    const uint64_t kTicksPerSecond = 10000000;
    const uint64_t kSeconds1601To1900 = 9435484800ull;
    uint32_t s = uint32_t(qwTicks / kTicksPerSecond - kSeconds1601To1900);  // modulo 2^32: the era
    uint32_t f = uint32_t(((qwTicks % kTicksPerSecond) << 32) / kTicksPerSecond);
    return (NtpTimestamp(s) << 32) | f;
}

SYSTEMTIME NtpToSystemTime(NtpTimestamp t)
{
    uint32_t s = uint32_t(t >> 32);
    uint32_t f = uint32_t(t);

    // Era rule: the top bit set means 1968-2036, reckoned from 1900;
    // clear means 2036-2104, reckoned from 2036-02-07 06:28:16.
    uint32_t dwDay = s / kSecondsPerDay;
    uint32_t r = s % kSecondsPerDay;
    if ((s & 0x80000000u) == 0) {
        dwDay += kEraDays;
        r += kEraRemainder;
        if (r >= kSecondsPerDay) {
            r -= kSecondsPerDay;
            ++dwDay;
        }
    }

    SYSTEMTIME st;
    st.wMilliseconds = uint16_t((uint64_t(f) * 1000u) >> 32);
    st.wSecond = uint16_t(r % 60);
    st.wMinute = uint16_t(r / 60 % 60);
    st.wHour = uint16_t(r / 3600);
    st.wDayOfWeek = uint16_t((dwDay + 1) % 7);  // 1900-01-01 was a Monday
    SetDate(&st, dwDay);
    return st;
}

int NtpPrecision(uint32_t nTicks)
{
    // Compared in 32.32: one step is nTicks * 2^32 / 10^7, rounded up.
    const uint64_t qwStep = ((uint64_t(nTicks ? nTicks : 1) << 32) + 9999999) / 10000000;
    int nExponent = -32;
    while ((uint64_t(1) << (nExponent + 32)) < qwStep) ++nExponent;
    return nExponent;
}

uint64_t MillisecondsToNtp(uint32_t ms)
{
    return (uint64_t(ms) << 32) / 1000u;
}

uint64_t OffsetMagnitude(int64_t llOffset)
{
    return llOffset < 0 ? 0 - (uint64_t)llOffset : (uint64_t)llOffset;
}

uint64_t NtpToNetwork(uint64_t value)
{
    uint64_t reversed = 0;
    for (int i = 0; i < 8; ++i) {
        reversed = (reversed << 8) | (value & 0xFF);
        value >>= 8;
    }
    return reversed;
}
