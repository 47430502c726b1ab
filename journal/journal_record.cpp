#include "journal/journal_record.h"

namespace {

// Where each field lies; the CRC covers every byte before it.
enum {
    AT_KIND = 2,
    AT_OUTCOME = 3,
    AT_UPTIME = 4,
    AT_TIME = 8,
    AT_OFFSET = 16,
    AT_LOOP_DELAY = 24,
    AT_CRC = 32,
};
static_assert(AT_CRC + 4 == JOURNAL_RECORD_SIZE, "the CRC ends the record");
static_assert(sizeof(JournalBytes) == 36, "a record is 36 bytes on disk");

const uint8_t kMark[2] = {'T', 'H'};

void PutLittle(uint8_t* bytes, uint64_t value, int nBytes)
{
    for (int i = 0; i < nBytes; ++i) bytes[i] = (uint8_t)(value >> (8 * i));
}

uint64_t GetLittle(const uint8_t* bytes, int nBytes)
{
    uint64_t value = 0;
    for (int i = nBytes - 1; i >= 0; --i) value = (value << 8) | bytes[i];
    return value;
}

// CRC-32 as zlib computes it: polynomial 0xEDB88320 reflected, all ones in
// and out, a byte at a time through a table made by the compiler (the
// history of 90 days is 130,000 records, read through twice at start).
struct CrcTable {
    uint32_t a[256];
};

constexpr CrcTable MakeCrcTable()
{
    CrcTable table = {};
    for (uint32_t i = 0; i < 256; ++i) {
        uint32_t crc = i;
        for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1)));
        table.a[i] = crc;
    }
    return table;
}

constexpr CrcTable kCrcTable = MakeCrcTable();

uint32_t Crc32(const uint8_t* data, size_t n)
{
    uint32_t crc = 0xFFFFFFFF;
    for (size_t i = 0; i < n; ++i) crc = (crc >> 8) ^ kCrcTable.a[(crc ^ data[i]) & 0xFF];
    return ~crc;
}

// A reply's outcome is one of the four; every other kind writes 0 there.
bool IsIntact(const uint8_t* bytes)
{
    if (bytes[0] != kMark[0] || bytes[1] != kMark[1]) return false;
    uint8_t kind = bytes[AT_KIND], outcome = bytes[AT_OUTCOME];
    if (kind < JOURNAL_REPLY || kind > JOURNAL_WAKE) return false;
    if (kind == JOURNAL_REPLY ? outcome > REPLY_TOO_SLOW : outcome != 0) return false;
    return GetLittle(bytes + AT_CRC, 4) == Crc32(bytes, AT_CRC);
}

void DecodeJournalRecord(const uint8_t* bytes, JournalRecord* record)
{
    record->nKind = (JournalKind)bytes[AT_KIND];
    record->nOutcome = (ReplyOutcome)bytes[AT_OUTCOME];
    record->nUptime_sec = (uint32_t)GetLittle(bytes + AT_UPTIME, 4);
    record->qwTime = GetLittle(bytes + AT_TIME, 8);
    record->llOffset = (int64_t)GetLittle(bytes + AT_OFFSET, 8);
    record->qwLoopDelay = GetLittle(bytes + AT_LOOP_DELAY, 8);
}

}  // namespace

void EncodeJournalRecord(const JournalRecord& record, JournalBytes& bytes)
{
    bytes[0] = kMark[0];
    bytes[1] = kMark[1];
    bytes[AT_KIND] = record.nKind;
    bytes[AT_OUTCOME] = record.nKind == JOURNAL_REPLY ? record.nOutcome : 0;
    PutLittle(bytes + AT_UPTIME, record.nUptime_sec, 4);
    PutLittle(bytes + AT_TIME, record.qwTime, 8);
    PutLittle(bytes + AT_OFFSET, (uint64_t)record.llOffset, 8);
    PutLittle(bytes + AT_LOOP_DELAY, record.qwLoopDelay, 8);
    PutLittle(bytes + AT_CRC, Crc32(bytes, AT_CRC), 4);
}

// A bad position moves on by one byte, not a record: after a torn record or
// stray bytes the next whole record may start anywhere.
bool ScanJournal(const uint8_t* data, size_t n, JournalRecord* record, size_t* pnUsed)
{
    for (size_t at = 0; at + JOURNAL_RECORD_SIZE <= n; ++at) {
        if (!IsIntact(data + at)) continue;
        DecodeJournalRecord(data + at, record);
        *pnUsed = at + JOURNAL_RECORD_SIZE;
        return true;
    }
    *pnUsed = n >= JOURNAL_RECORD_SIZE ? n - (JOURNAL_RECORD_SIZE - 1) : 0;
    return false;
}

uint64_t JournalKeepFrom(uint64_t qwSize)
{
    const uint64_t qwKept = (uint64_t)JOURNAL_KEPT_RECORDS * JOURNAL_RECORD_SIZE;
    const uint64_t qwDay = (uint64_t)JOURNAL_DAY_RECORDS * JOURNAL_RECORD_SIZE;
    if (qwSize <= qwKept + qwDay) return 0;
    uint64_t qwFrom = qwSize - qwKept;
    return qwFrom + (JOURNAL_RECORD_SIZE - qwFrom % JOURNAL_RECORD_SIZE) % JOURNAL_RECORD_SIZE;
}
