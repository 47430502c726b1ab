// What the client is told to do, handed in whole by whoever hosts it when
// it starts and whenever the user changes a setting: it reads nothing else.
// Plain data, free of Windows.
#pragma once

#include <stdint.h>

enum { SERVER_NAME_SIZE = 256 };  // 255 characters and the terminating zero

struct ClientConfig {
    char szServers[SERVER_NAME_SIZE];        // the server field: a host name or a dotted address
    uint32_t nInterval_minute;               // between polls, before RATE kisses
    uint64_t qwIgnorableMaxTimeDifference;   // 32.32: offsets up to this are left alone
    uint64_t qwAcceptableMaxLoopDelay;       // 32.32, inclusive
    bool fStartOnline;                       // goes online by itself at start
    bool fStayResident;                      // false: the run ends after its first good reply
    bool fServerMode;                        // answers the LAN's requests (only while resident)
};
