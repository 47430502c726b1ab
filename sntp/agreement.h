// Which servers agree. Each source's last judged reply is an interval: its
// offset, give or take half its loop delay, its server's root dispersion and
// the tolerance. The largest group whose intervals share a point decides,
// by its median offset (two: their mean); a group of one decides only when
// it is the only source; two largest groups of the same size, or none larger
// than one among several, decide nothing. Pure, so that it is checked
// natively. All times are 32.32 fixed point.
#pragma once

#include <stdint.h>

enum { AGREEMENT_MAX_SOURCES = 8 };

struct SourceOffset {
    int64_t llOffset;
    uint64_t qwLoopDelay;
    uint64_t qwRootDispersion;
};

struct Agreement {
    int nAgreeing;       // sources in the deciding group; 0: nothing is decided
    uint32_t dwGroup;    // bit i: source i is in it
    int64_t llOffset;    // the group's median offset
};

// The first n (at most AGREEMENT_MAX_SOURCES) sources, tolerance qwTolerance.
Agreement FindAgreement(const SourceOffset* sources, int n, uint64_t qwTolerance);
