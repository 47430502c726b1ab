#include <gtest/gtest.h>

#include "timebase/ntp_time.h"

namespace {

SYSTEMTIME Utc(int year, int month, int day, int hour = 0, int minute = 0, int second = 0, int ms = 0)
{
    SYSTEMTIME st = {};
    st.wYear = uint16_t(year);
    st.wMonth = uint16_t(month);
    st.wDay = uint16_t(day);
    st.wHour = uint16_t(hour);
    st.wMinute = uint16_t(minute);
    st.wSecond = uint16_t(second);
    st.wMilliseconds = uint16_t(ms);
    return st;
}

NtpTimestamp Ntp(uint32_t seconds, uint32_t fraction = 0)
{
    return (NtpTimestamp(seconds) << 32) | fraction;
}

void ExpectCalendar(const SYSTEMTIME& st, int year, int month, int day, int dayOfWeek, int hour, int minute,
                    int second, int ms)
{
    EXPECT_EQ(st.wYear, year);
    EXPECT_EQ(st.wMonth, month);
    EXPECT_EQ(st.wDay, day);
    EXPECT_EQ(st.wDayOfWeek, dayOfWeek);
    EXPECT_EQ(st.wHour, hour);
    EXPECT_EQ(st.wMinute, minute);
    EXPECT_EQ(st.wSecond, second);
    EXPECT_EQ(st.wMilliseconds, ms);
}

// Days since 1970-01-01 of a proleptic Gregorian date (H. Hinnant's
// days_from_civil): an oracle independent of the month table and year blocks.
int64_t DaysFromCivil(int64_t y, int m, int d)
{
    y -= m <= 2;
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const int64_t yoe = y - era * 400;
    const int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

bool IsLeapYear(int y)
{
    return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
}

int DaysInMonth(int y, int m)
{
    static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return m == 2 && IsLeapYear(y) ? 29 : kDays[m - 1];
}

struct CalendarRow {
    uint32_t seconds;
    int year, month, day, dayOfWeek, hour, minute, second;
};

TEST(NtpTime, DecodesBothErasAtTheirEdges)
{
    const CalendarRow rows[] = {
        {0x80000000u, 1968, 1, 20, 6, 3, 14, 8},     // first second of the 1900-based half
        {0x83AA7E80u, 1970, 1, 1, 4, 0, 0, 0},
        {0xBC658A80u, 2000, 2, 29, 2, 0, 0, 0},
        {0xBC66DC00u, 2000, 3, 1, 3, 0, 0, 0},
        {0xEEC07580u, 2026, 12, 7, 1, 0, 0, 0},
        {0xF111B880u, 2028, 3, 1, 3, 0, 0, 0},
        {0xFFFFFFFFu, 2036, 2, 7, 4, 6, 28, 15},     // last second of era 0
        {0x00000000u, 2036, 2, 7, 4, 6, 28, 16},     // era 1 begins
        {0x00000001u, 2036, 2, 7, 4, 6, 28, 17},
        {0x07A36E40u, 2040, 2, 29, 3, 12, 0, 0},
        {0x787E9DFFu, 2100, 2, 28, 0, 23, 59, 59},   // 2100 is no leap year
        {0x787E9E00u, 2100, 3, 1, 1, 0, 0, 0},
        {0x7FFFFFFFu, 2104, 2, 26, 2, 9, 42, 23},    // last second of era 1
    };
    for (const CalendarRow& row : rows) {
        SCOPED_TRACE(testing::Message() << std::hex << row.seconds);
        ExpectCalendar(NtpToSystemTime(Ntp(row.seconds)), row.year, row.month, row.day, row.dayOfWeek, row.hour,
                       row.minute, row.second, 0);
        SYSTEMTIME st = Utc(row.year, row.month, row.day, row.hour, row.minute, row.second);
        EXPECT_EQ(SystemTimeToNtp(&st), Ntp(row.seconds));
    }
}

TEST(NtpTime, FractionsAndMillisecondsTruncate)
{
    SYSTEMTIME st = Utc(2028, 2, 29, 23, 59, 59, 999);
    EXPECT_EQ(SystemTimeToNtp(&st), Ntp(0xF111B87Fu, 0xFFBE76C8u));
    ExpectCalendar(NtpToSystemTime(Ntp(0xF111B87Fu, 0xFFBE76C8u)), 2028, 2, 29, 2, 23, 59, 59, 998);

    st = Utc(2036, 2, 7, 6, 28, 15, 999);
    EXPECT_EQ(SystemTimeToNtp(&st), Ntp(0xFFFFFFFFu, 0xFFBE76C8u));
    ExpectCalendar(NtpToSystemTime(~NtpTimestamp(0)), 2036, 2, 7, 4, 6, 28, 15, 999);

    const struct { int ms; uint32_t fraction; } fractions[] = {
        {0, 0}, {1, 0x00418937u}, {125, 0x20000000u}, {500, 0x80000000u}, {999, 0xFFBE76C8u},
    };
    for (const auto& row : fractions) {
        st = Utc(2000, 1, 1, 0, 0, 0, row.ms);
        EXPECT_EQ(uint32_t(SystemTimeToNtp(&st)), row.fraction) << row.ms;
    }

    // Both directions truncate: only multiples of 125 ms survive unchanged.
    for (int ms = 0; ms < 1000; ++ms) {
        st = Utc(2000, 1, 1, 0, 0, 0, ms);
        int expected = ms % 125 == 0 ? ms : ms - 1;
        ASSERT_EQ(NtpToSystemTime(SystemTimeToNtp(&st)).wMilliseconds, expected) << ms;
    }
}

TEST(NtpTime, EveryDayOfBothErasRoundTrips)
{
    const int kTimesOfDay[][3] = {{0, 0, 0}, {6, 28, 15}, {6, 28, 16}, {12, 0, 0}, {23, 59, 59}};
    int y = 1968, m = 1, d = 21;
    int dayOfWeek = 0;  // 1968-01-21 was a Sunday
    const int64_t epoch1900 = DaysFromCivil(1900, 1, 1);
    while (!(y == 2104 && m == 2 && d == 26)) {
        int64_t days = DaysFromCivil(y, m, d) - epoch1900;
        for (const auto& t : kTimesOfDay) {
            SYSTEMTIME st = Utc(y, m, d, t[0], t[1], t[2], 250);
            int64_t seconds = ((days * 24 + t[0]) * 60 + t[1]) * 60 + t[2];
            NtpTimestamp ntp = SystemTimeToNtp(&st);
            ASSERT_EQ(ntp, Ntp(uint32_t(seconds), 0x40000000u)) << y << "-" << m << "-" << d;
            SYSTEMTIME back = NtpToSystemTime(ntp);
            ASSERT_TRUE(back.wYear == y && back.wMonth == m && back.wDay == d && back.wDayOfWeek == dayOfWeek &&
                        back.wHour == t[0] && back.wMinute == t[1] && back.wSecond == t[2] &&
                        back.wMilliseconds == 250)
                << y << "-" << m << "-" << d << " " << t[0] << ":" << t[1] << ":" << t[2] << " came back as "
                << back.wYear << "-" << back.wMonth << "-" << back.wDay << " dow " << back.wDayOfWeek;
        }
        dayOfWeek = (dayOfWeek + 1) % 7;
        if (++d > DaysInMonth(y, m)) {
            d = 1;
            if (++m > 12) {
                m = 1;
                ++y;
            }
        }
    }
}

TEST(NtpTime, RecordsTheClockNeverGivesEncodeAsNoTime)
{
    const SYSTEMTIME bad[] = {
        Utc(2026, 0, 7), Utc(2026, 13, 7), Utc(2026, 0xFFFF, 7), Utc(2026, 12, 7, 0, 0, 0, 1000),
        Utc(2026, 12, 7, 0, 0, 0, 0xFFFF),
    };
    for (const SYSTEMTIME& st : bad) {
        EXPECT_EQ(SystemTimeToNtp(&st), 0u) << st.wMonth << " " << st.wMilliseconds;
    }
}

TEST(NtpTime, FileTimesKeepTheirFullResolution)
{
    const struct {
        uint64_t qwTicks;  // 100 ns since 1601-01-01
        NtpTimestamp t;
    } rows[] = {
        {94354848000000000ull, 0},                                  // 1900-01-01 00:00:00
        {134411204960000000ull + 5000000, 0xEEC1267080000000ull},   // 2026-12-07 12:34:56.5
        {134411204960000000ull + 1, 0xEEC12670000001ADull},         // and 100 ns: 429.49 units, truncated
        {137304520950000000ull + 9999999, 0xFFFFFFFFFFFFFE52ull},   // 2036-02-07 06:28:15.9999999
        {137304520960000000ull, 0},                                 // 06:28:16, the next era
    };
    for (const auto& row : rows) EXPECT_EQ(FileTimeToNtp(row.qwTicks), row.t) << row.qwTicks;
}

TEST(NtpTime, PrecisionIsTheLeastPowerOfTwoNotBelowOneStep)
{
    const struct {
        uint32_t nTicks;
        int nPrecision;
    } rows[] = {
        {0, -23},           // as one tick
        {1, -23},           // 100 ns: 2^-24 s is 59.6 ns, 2^-23 s 119.2 ns
        {10000, -9},        // 1 ms: 2^-10 s is 0.977 ms
        {156250, -6},       // 15.625 ms, exactly 2^-6 s
        {156251, -5},
        {0xFFFFFFFF, 9},    // 429.5 s
    };
    for (const auto& row : rows) EXPECT_EQ(NtpPrecision(row.nTicks), row.nPrecision) << row.nTicks;
}

TEST(NtpTime, MillisecondThresholdsTruncate)
{
    EXPECT_EQ(MillisecondsToNtp(1), 0x0000000000418937ull);
    EXPECT_EQ(MillisecondsToNtp(200), 0x0000000033333333ull);
    EXPECT_EQ(MillisecondsToNtp(250), 0x0000000040000000ull);
    EXPECT_EQ(MillisecondsToNtp(600), 0x0000000099999999ull);
    EXPECT_EQ(MillisecondsToNtp(999), 0x00000000FFBE76C8ull);
    EXPECT_EQ(MillisecondsToNtp(9999), 0x00000009FFBE76C8ull);
}

TEST(NtpTime, NetworkOrderReversesTheEightBytes)
{
    EXPECT_EQ(NtpToNetwork(0x0123456789ABCDEFull), 0xEFCDAB8967452301ull);
    EXPECT_EQ(NtpToNetwork(NtpToNetwork(0x0123456789ABCDEFull)), 0x0123456789ABCDEFull);

    SYSTEMTIME st = Utc(2000, 1, 1, 0, 0, 0, 500);
    NtpTimestamp t = SystemTimeToNtp(&st);
    EXPECT_EQ(t, 0xBC17C20080000000ull);
    uint64_t wire = NtpToNetwork(t);
    const uint8_t expected[8] = {0xBC, 0x17, 0xC2, 0x00, 0x80, 0x00, 0x00, 0x00};
    EXPECT_EQ(memcmp(&wire, expected, 8), 0);
}

}  // namespace
