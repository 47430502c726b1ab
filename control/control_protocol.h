// What passes through the program's control pipe, \\.\pipe\TamarinTime:
// one fixed-size request from a local client, one fixed-size answer. Plain
// data, the same on both sides, so that a short or foreign message is told
// by its size and mark.
#pragma once

#include <stdint.h>

enum : uint32_t {
    CONTROL_MAGIC = 0x4E524D54,  // "TMRN" in little-endian order
    CONTROL_VERSION = 1,
};

enum ControlCommand : uint32_t {
    CONTROL_STATUS = 1,  // what the engine knows now
    CONTROL_RESYNC = 2,  // poll now, and answer when the reply was judged (a minute at most)
};

enum ControlResult : uint32_t {
    CONTROL_DONE = 0,
    CONTROL_TIMED_OUT = 1,  // a resync whose reply did not come in time
    CONTROL_UNKNOWN = 2,    // a request this engine cannot read
};

struct ControlRequest {
    uint32_t dwMagic;
    uint32_t dwVersion;
    uint32_t dwCommand;
};

struct ControlStatus {
    uint32_t dwMagic;
    uint32_t dwVersion;
    uint32_t dwResult;
    int32_t nStatus;             // 0 offline, 1 looking the server up, 2 online, 3 waiting to retry
    int32_t fSynchronized;       // the clock found right (or set) by its server
    int32_t fChecked;            // and that not longer ago than the limit: what server mode hands out
    int32_t fServerModeRunning;
    int32_t nServedStratum;      // the stratum server mode answers with
    uint32_t nInterval_sec;      // the poll interval in force
    uint16_t wServerPort;        // network order; 0 until known
    uint8_t abServerAddress[4];  // first byte first
    uint8_t abPad[2];
    uint64_t qwLastJudged;       // NTP time of the last reply with an accepted delay; 0: none
    int64_t llLastOffset;        // its offset, 32.32
    char szServer[256];          // the server name as configured
};
