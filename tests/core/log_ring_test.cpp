#include <gtest/gtest.h>

#include <string>

#include "log/log_ring.h"

namespace {

LogRing ring;

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
        for (int i = 1; i <= row.appended; ++i) AppendToRing(&ring, std::to_string(i).c_str());
        AppendToRing(&ring, row.text.c_str());
        total += row.appended + 1;
        EXPECT_EQ(ring.nCount, row.count);
        EXPECT_EQ(ring.qwAppended, total);
        EXPECT_EQ(RingLine(&ring, 0), row.oldest);
        EXPECT_EQ(RingLine(&ring, ring.nCount - 1), row.newest);
    }
}

}  // namespace
