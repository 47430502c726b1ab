#include <gtest/gtest.h>

#include "sntp/agreement.h"

namespace {

int64_t Ms(int64_t ms)
{
    return ms * 4294967296 / 1000;
}

const uint64_t kSecond = (uint64_t)1 << 32;

TEST(Agreement, TheLargestGroupThatSharesAPointDecidesByItsMedian)
{
    const uint64_t delay = (uint64_t)Ms(20), dispersion = (uint64_t)Ms(1), tolerance = (uint64_t)Ms(200);
    const struct {
        const char* what;
        int n;
        int64_t offsets[4];
        int nAgreeing;
        uint32_t dwGroup;
        int64_t llOffset;
    } rows[] = {
        {"three agree, one 10 s off is passed over", 4, {Ms(0), Ms(10000), Ms(8), Ms(5)}, 3, 0b1101, Ms(5)},
        {"two that disagree set nothing", 2, {Ms(0), Ms(10000)}, 0, 0, 0},
        {"two that agree give their mean", 2, {Ms(4), Ms(10)}, 2, 0b11, 30064770},  // 7 ms
        {"one alone decides, as ever", 1, {Ms(-3)}, 1, 0b1, Ms(-3)},
        {"a leap agreed by two outvotes one", 3, {Ms(1000000000), Ms(0), Ms(1000000010)}, 2, 0b101, Ms(1000000005)},
        {"two groups of two: nothing", 4, {Ms(0), Ms(5), Ms(10000), Ms(10005)}, 0, 0, 0},
        {"two against two lone ones: the two", 4, {Ms(0), Ms(-20000), Ms(5), Ms(20000)}, 2, 0b101, 10737418},  // 2.5 ms
        {"three that all disagree: nothing", 3, {Ms(0), Ms(1000), Ms(2000)}, 0, 0, 0},
    };
    for (const auto& row : rows) {
        SourceOffset sources[4];
        for (int i = 0; i < row.n; ++i) sources[i] = {row.offsets[i], delay, dispersion};
        Agreement agreement = FindAgreement(sources, row.n, tolerance);
        EXPECT_EQ(agreement.nAgreeing, row.nAgreeing) << row.what;
        EXPECT_EQ(agreement.dwGroup, row.dwGroup) << row.what;
        EXPECT_EQ(agreement.llOffset, row.llOffset) << row.what;
    }
}

// Each bound is half the delay, the root dispersion and the tolerance: two
// intervals that touch agree, a tick apart they do not.
TEST(Agreement, IntervalsThatTouchAgree)
{
    const int64_t reach = (int64_t)(kSecond / 2 + kSecond / 4 + kSecond / 4);  // each side
    for (int64_t gap : {int64_t(0), int64_t(1)}) {
        SourceOffset sources[2] = {{0, kSecond, kSecond / 4}, {2 * reach + gap, kSecond, kSecond / 4}};
        EXPECT_EQ(FindAgreement(sources, 2, kSecond / 4).nAgreeing, gap == 0 ? 2 : 0) << gap;
    }
    // Offsets at the ends of the range neither wrap nor meet.
    SourceOffset far[2] = {{INT64_MAX, UINT64_MAX, UINT64_MAX}, {INT64_MIN, UINT64_MAX, UINT64_MAX}};
    EXPECT_EQ(FindAgreement(far, 2, 0).nAgreeing, 0);
}

}  // namespace
