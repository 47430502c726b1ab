// What every fuzz target checks of a formatted log line: it ends inside the
// line buffer. (The fixed Japanese texts are UTF-8 in this build, so the code
// page 932 cut is checked on its own, from any bytes, in packet_fuzz.)
#pragma once

#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include "log/log_format.h"

#define FUZZ_REQUIRE(condition) \
    do {                        \
        if (!(condition)) abort(); \
    } while (0)

inline void RequireSoundLine(const LogLineBuffer& line)
{
    size_t length = strnlen(line, LOG_LINE_SIZE);
    FUZZ_REQUIRE(length < LOG_LINE_SIZE);
}

// A big-endian 64-bit value, as the seeds write them.
inline uint64_t ReadBig64(const uint8_t* bytes)
{
    uint64_t value = 0;
    for (int i = 0; i < 8; ++i) value = (value << 8) | bytes[i];
    return value;
}
