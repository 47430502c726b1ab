#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "journal/journal_record.h"

namespace {

// A reply at 2026-12-09 14:03:38.5 UTC, 5 h 7 s after boot, set back by
// 1.5 s over a loop of 1/64 s; its CRC-32 from Python's zlib.crc32.
const JournalRecord kReply = {JOURNAL_REPLY, REPLY_CORRECTED, 18007, 0xEEC3DE3A80000000ull, -(3ll << 31), 1 << 26};
const std::vector<uint8_t> kReplyBytes = {'T', 'H', 1, 1, 0x57, 0x46, 0, 0, 0, 0, 0, 0x80, 0x3A, 0xDE, 0xC3, 0xEE, 0, 0,
                                          0, 0x80, 0xFE, 0xFF, 0xFF, 0xFF, 0, 0, 0, 4, 0, 0, 0, 0, 0x31, 0x4B, 0xDD, 0xB8};

std::vector<uint8_t> Bytes(const JournalRecord& record)
{
    JournalBytes bytes;
    EncodeJournalRecord(record, bytes);
    return std::vector<uint8_t>(bytes, bytes + JOURNAL_RECORD_SIZE);
}

bool Scans(std::vector<uint8_t> bytes, size_t* pnUsed)
{
    JournalRecord record;
    return ScanJournal(bytes.data(), bytes.size(), &record, pnUsed);
}

TEST(Journal, ARecordIsLittleEndianWithItsCrcAndAnyFlippedBitSpoilsIt)
{
    EXPECT_EQ(Bytes(kReply), kReplyBytes);
    size_t used = 0;
    EXPECT_TRUE(Scans(kReplyBytes, &used) && used == 36);
    for (int bit = 0; bit < JOURNAL_RECORD_SIZE * 8; ++bit) {
        std::vector<uint8_t> bytes = kReplyBytes;
        bytes[bit / 8] ^= (uint8_t)(1 << bit % 8);
        EXPECT_FALSE(Scans(bytes, &used)) << bit;
    }
    // Whole, CRC and all, but a start with an outcome, a fifth outcome, a sixth kind.
    const uint32_t strangers[][3] = {{2, 1, 0xFC7C6E29}, {1, 4, 0x8CB4F0C4}, {6, 0, 0x6EF83B2D}};
    for (const auto& row : strangers) {
        std::vector<uint8_t> bytes = kReplyBytes;
        bytes[2] = (uint8_t)row[0];
        bytes[3] = (uint8_t)row[1];
        for (int i = 0; i < 4; ++i) bytes[32 + i] = (uint8_t)(row[2] >> (8 * i));
        EXPECT_FALSE(Scans(bytes, &used)) << row[2];
    }
}

// Read chunk by chunk as from a file, keeping what cannot yet be used.
std::vector<JournalRecord> ReadAll(const std::vector<uint8_t>& file, size_t chunk)
{
    std::vector<JournalRecord> found;
    std::vector<uint8_t> buffer;
    JournalRecord record;
    size_t used = 0;
    for (size_t at = 0; at < file.size(); at += chunk) {
        buffer.insert(buffer.end(), file.begin() + at, file.begin() + std::min(at + chunk, file.size()));
        for (bool fFound = true; fFound; buffer.erase(buffer.begin(), buffer.begin() + used))
            if ((fFound = ScanJournal(buffer.data(), buffer.size(), &record, &used))) found.push_back(record);
    }
    return found;
}

// Stray bytes (one a false mark), and each record followed by a copy cut
// short by a crash: in chunks of every size, each whole record once.
TEST(Journal, ReadingSkipsWhatIsTornOrStray)
{
    const JournalRecord kStart = {JOURNAL_START, REPLY_WITHIN_TOLERANCE, 60, 0xEEC3DE3A00000000ull, 0, 0};
    std::vector<uint8_t> file = {1, 'T', 'H', 2, 0}, start = Bytes(kStart);
    file.insert(file.end(), kReplyBytes.begin(), kReplyBytes.end());
    file.insert(file.end(), kReplyBytes.begin(), kReplyBytes.begin() + 20);
    file.insert(file.end(), start.begin(), start.end());
    file.insert(file.end(), start.begin(), start.begin() + 20);
    for (size_t chunk = 1; chunk <= file.size(); ++chunk) {
        std::vector<JournalRecord> found = ReadAll(file, chunk);
        ASSERT_EQ(found.size(), 2u) << chunk;
        EXPECT_TRUE(Bytes(found[0]) == kReplyBytes && Bytes(found[1]) == start) << chunk;
    }
    // None whole: the start less its first byte, and the torn copy; all but 35 bytes may go.
    size_t used = 99;
    EXPECT_FALSE(Scans(std::vector<uint8_t>(file.begin() + 62, file.end()), &used));
    EXPECT_EQ(used, 20u);
    EXPECT_FALSE(Scans(std::vector<uint8_t>(file.begin(), file.begin() + 35), &used));
    EXPECT_EQ(used, 0u);
}

}  // namespace
