// Any bytes as a history file, scanned into the clock doctor; then the same
// bytes, 11 at a time, as records that need no CRC (the fuzzer would seldom
// hit one) of any kind, order and values: kind and outcome, a step of the
// uptime (a negative one a boot), the clock's step beyond it, the offset.
#include <math.h>
#include <stddef.h>
#include <stdint.h>
#include <string.h>

#include "fuzz_checks.h"
#include "journal/clock_doctor.h"

namespace {

// A record found is the bytes that end what was used; when none is, all
// but the last 35 bytes go.
void ScanAll(const uint8_t* data, size_t size, ClockDoctor* doctor)
{
    JournalRecord record;
    JournalBytes bytes;
    size_t used = 0;
    for (; ScanJournal(data, size, &record, &used); data += used, size -= used) {
        FUZZ_REQUIRE(used >= JOURNAL_RECORD_SIZE && used <= size);
        EncodeJournalRecord(record, bytes);
        FUZZ_REQUIRE(memcmp(bytes, data + used - JOURNAL_RECORD_SIZE, JOURNAL_RECORD_SIZE) == 0);
        DoctorTake(doctor, record);
    }
    FUZZ_REQUIRE(used == (size >= JOURNAL_RECORD_SIZE ? size - (JOURNAL_RECORD_SIZE - 1) : 0));
}

uint64_t Signed32(const uint8_t* b, int nShift)
{
    return (uint64_t)(int64_t)(int32_t)(b[0] | b[1] << 8 | b[2] << 16 | (uint32_t)b[3] << 24) << nShift;
}

// Steps of up to 36 h of uptime and 6 days more of the clock; offsets up to 9 h.
void TakeMadeRecords(const uint8_t* data, size_t size, ClockDoctor* doctor)
{
    JournalRecord r = {};
    for (; size >= 11; data += 11, size -= 11) {
        r.nKind = (JournalKind)(1 + data[0] % 5);
        r.nOutcome = (ReplyOutcome)(r.nKind == JOURNAL_REPLY ? data[0] / 5 % 4 : 0);
        int32_t nStep_sec = 4 * (int16_t)(data[1] | data[2] << 8);
        r.nUptime_sec = nStep_sec < 0 ? (uint32_t)-nStep_sec : r.nUptime_sec + nStep_sec;
        r.qwTime += ((uint64_t)(int64_t)nStep_sec << 32) + Signed32(data + 3, 20);
        r.llOffset = (int64_t)Signed32(data + 7, 16);
        DoctorTake(doctor, r);
    }
}

// A drift is a number, and every line whole, not cut by its buffer.
void CheckFindings(const ClockDoctor& doctor)
{
    DoctorFindings f = ConcludeDoctor(doctor);
    FUZZ_REQUIRE(!f.fDriftKnown || (fabs(f.drift_sec_day) < 86400 && f.margin_sec_day >= 0 && f.margin_sec_day < 86400));
    char lines[DOCTOR_LINES][DOCTOR_LINE_SIZE];
    memset(lines, 'x', sizeof lines);
    int n = FormatDoctorLines(f, lines);
    FUZZ_REQUIRE(n >= 1 && n <= DOCTOR_LINES);
    for (int i = 0; i < n; ++i) FUZZ_REQUIRE(strnlen(lines[i], DOCTOR_LINE_SIZE) < DOCTOR_LINE_SIZE - 1);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static ClockDoctor doctor;
    doctor = ClockDoctor();
    ScanAll(data, size, &doctor);
    CheckFindings(doctor);
    TakeMadeRecords(data, size, &doctor);
    CheckFindings(doctor);
    return 0;
}
