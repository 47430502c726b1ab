#include "sntp/agreement.h"

namespace {

const uint64_t kBoundCap = (uint64_t)1 << 61;  // far beyond any real bound; keeps the sums in range

struct Interval {
    int64_t llLow, llHigh;
};

uint64_t Capped(uint64_t qw)
{
    return qw < kBoundCap ? qw : kBoundCap;
}

int64_t Plus(int64_t ll, uint64_t qw)
{
    return ll > INT64_MAX - (int64_t)qw ? INT64_MAX : ll + (int64_t)qw;
}

int64_t Minus(int64_t ll, uint64_t qw)
{
    return ll < INT64_MIN + (int64_t)qw ? INT64_MIN : ll - (int64_t)qw;
}

Interval IntervalOf(const SourceOffset& source, uint64_t qwTolerance)
{
    uint64_t qwBound = Capped(source.qwLoopDelay / 2) + Capped(source.qwRootDispersion) + Capped(qwTolerance);
    return Interval{Minus(source.llOffset, qwBound), Plus(source.llOffset, qwBound)};
}

// The sources whose intervals hold the point.
uint32_t GroupAt(const Interval* intervals, int n, int64_t llPoint)
{
    uint32_t dwGroup = 0;
    for (int i = 0; i < n; ++i) {
        if (intervals[i].llLow <= llPoint && llPoint <= intervals[i].llHigh) dwGroup |= 1u << i;
    }
    return dwGroup;
}

int CountOf(uint32_t dwGroup)
{
    int nCount = 0;
    for (; dwGroup != 0; dwGroup &= dwGroup - 1) ++nCount;
    return nCount;
}

int64_t Mean(int64_t a, int64_t b)
{
    return (a >> 1) + (b >> 1) + (a & b & 1);
}

int64_t MedianOf(const SourceOffset* sources, int n, uint32_t dwGroup)
{
    int64_t allOffsets[AGREEMENT_MAX_SOURCES];
    int nCount = 0;
    for (int i = 0; i < n; ++i) {
        if ((dwGroup & (1u << i)) == 0) continue;
        int j = nCount++;
        for (; j > 0 && allOffsets[j - 1] > sources[i].llOffset; --j) allOffsets[j] = allOffsets[j - 1];
        allOffsets[j] = sources[i].llOffset;
    }
    int nMiddle = nCount / 2;
    return nCount % 2 == 1 ? allOffsets[nMiddle] : Mean(allOffsets[nMiddle - 1], allOffsets[nMiddle]);
}

}  // namespace

Agreement FindAgreement(const SourceOffset* sources, int n, uint64_t qwTolerance)
{
    Agreement agreement = {0, 0, 0};
    if (n > AGREEMENT_MAX_SOURCES) n = AGREEMENT_MAX_SOURCES;
    Interval intervals[AGREEMENT_MAX_SOURCES];
    for (int i = 0; i < n; ++i) intervals[i] = IntervalOf(sources[i], qwTolerance);
    // Intervals that meet pairwise share a point, and the most that share one
    // share some interval's low end.
    uint32_t dwBest = 0;
    bool fTied = false;
    for (int i = 0; i < n; ++i) {
        uint32_t dwGroup = GroupAt(intervals, n, intervals[i].llLow);
        if (CountOf(dwGroup) > CountOf(dwBest)) {
            dwBest = dwGroup;
            fTied = false;
        } else if (CountOf(dwGroup) == CountOf(dwBest) && dwGroup != dwBest) {
            fTied = true;
        }
    }
    // Lone ones among several tie with each other.
    int nBest = CountOf(dwBest);
    if (fTied || nBest == 0) return agreement;
    agreement.nAgreeing = nBest;
    agreement.dwGroup = dwBest;
    agreement.llOffset = MedianOf(sources, n, dwBest);
    return agreement;
}
