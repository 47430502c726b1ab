#include <gtest/gtest.h>

#include <string>

#include "log/log_ring.h"

namespace {

LogRing ring;
const SYSTEMTIME kMorning = {2026, 12, 4, 10, 7, 15, 22, 999};
const SYSTEMTIME kNewYear = {2027, 1, 5, 1, 0, 0, 5, 0};

TEST(LogRing, KeepsTheNewest500CutOnACharacterBoundary)
{
    const std::string a78(78, 'A');
    struct {
        int appended;         // numbered lines appended before the text
        std::string text;
        int count;            // lines kept afterwards
        std::string oldest;
        std::string newest;   // the text as kept
    } rows[] = {
        {0, "first", 1, "first", "first"},
        {498, "500th", 500, "first", "500th"},
        {0, "501st", 500, "1", "501st"},
        {0, std::string(100, 'B'), 500, "2", std::string(79, 'B')},
        {0, a78 + "\x82\xA0", 500, "3", a78},  // a two-byte character that would straddle the end
        {0, a78 + "C", 500, "4", a78 + "C"},
    };
    uint64_t total = 0;
    for (const auto& row : rows) {
        for (int i = 1; i <= row.appended; ++i) AppendToRing(&ring, std::to_string(i).c_str(), kMorning);
        AppendToRing(&ring, row.text.c_str(), kMorning);
        total += row.appended + 1;
        EXPECT_EQ(ring.nCount, row.count);
        EXPECT_EQ(ring.qwAppended, total);
        EXPECT_EQ(RingLine(&ring, 0), row.oldest);
        EXPECT_EQ(RingLine(&ring, ring.nCount - 1), row.newest);
    }
}

// Each line keeps its own time, and the text gives them oldest first (to
// the second), also once the ring has turned.
TEST(LogRing, TextGivesEachLineWithItsTime)
{
    static LogRing fresh;
    static char text[LOG_RING_TEXT_SIZE];
    EXPECT_EQ(RingText(&fresh, text), 0u);
    EXPECT_STREQ(text, "");
    AppendToRing(&fresh, "gone", kMorning);
    AppendToRing(&fresh, "first", kNewYear);
    std::string expected = "2027/01/01 00:00:05 first\r\n";
    for (int i = 0; i < 499; ++i) {
        AppendToRing(&fresh, "x", kMorning);
        expected += "2026/12/10 07:15:22 x\r\n";
    }
    EXPECT_EQ(RingText(&fresh, text), expected.size());
    EXPECT_EQ(text, expected);
}

}  // namespace
