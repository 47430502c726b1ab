// What passes through the program's control pipe, \\.\pipe\TamarinTime:
// one fixed-size request from a local client, one fixed-size answer. Plain
// data, the same on both sides, so that a short or foreign message is told
// by its size and mark. The tray and tamarinc come with the engine they ask,
// so the engine's own report travels as it is.
#pragma once

#include <windows.h>
#include <stdint.h>

#include "journal/clock_doctor.h"
#include "log/log_format.h"
#include "settings/settings_table.h"
#include "sntp/client.h"

enum : uint32_t {
    CONTROL_MAGIC = 0x4E524D54,  // "TMRN" in little-endian order
    CONTROL_VERSION = 3,
};

enum ControlCommand : uint32_t {
    CONTROL_STATUS = 1,  // what the engine knows now
    CONTROL_RESYNC = 2,  // poll now, and answer when the reply was judged (a minute at most)
    CONTROL_FOLLOW = 3,  // the tray: the status and what is new since it last asked (a ControlNews)
    // Changes, carried out only for an administrator's elevated caller:
    CONTROL_ONLINE = 4,    // go online (dwValue 1) or offline (0)
    CONTROL_SETTINGS = 5,  // take these settings, as the settings window gives them
};

enum ControlResult : uint32_t {
    CONTROL_DONE = 0,
    CONTROL_TIMED_OUT = 1,  // a resync whose reply did not come in time
    CONTROL_UNKNOWN = 2,    // a request this engine cannot read
    CONTROL_REFUSED = 3,    // a change asked by a caller who may not make it
};

struct ControlRequest {
    uint32_t dwMagic;
    uint32_t dwVersion;
    uint32_t dwCommand;
    uint32_t dwValue;        // CONTROL_ONLINE's
    uint64_t qwLinesSeen;    // CONTROL_FOLLOW: log lines ever appended that the tray has shown
    uint64_t qwRepliesSeen;  // and judged replies
    SettingsState settings;  // CONTROL_SETTINGS's
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
    uint8_t nAgreeing;           // the sources the last verdict stood on, of
    uint8_t nSources;            // the sources asked
    uint64_t qwLastJudged;       // NTP time of the last reply with an accepted delay; 0: none
    int64_t llLastOffset;        // its offset, 32.32
    char szServer[256];          // the server name as configured
};

enum { CONTROL_NEWS_ITEMS = 16 };

struct ControlLine {
    SYSTEMTIME local;  // when the host logged it
    char szText[LOG_LINE_SIZE];
};

// CONTROL_FOLLOW's answer: what the tray shows of its engine. The lines and
// replies run from the first the tray has not seen (or the oldest still kept)
// on, at most CONTROL_NEWS_ITEMS of each an answer.
struct ControlNews {
    ControlStatus status;
    int32_t fHostIsService;
    ClientReport report;
    SettingsState settings;  // those in force
    uint64_t qwFirstLine;    // the sequence number of aLines[0]
    uint32_t nLines;
    ControlLine aLines[CONTROL_NEWS_ITEMS];
    uint64_t qwFirstReply;
    uint32_t nReplies;
    HistoryPoint aReplies[CONTROL_NEWS_ITEMS];
    int32_t nDoctorLines;
    char aszDoctor[DOCTOR_LINES][DOCTOR_LINE_SIZE];
};
