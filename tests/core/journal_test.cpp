#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "journal/clock_doctor.h"
#include "made_history.h"

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

// 130,000 records (4,680,000 bytes) are kept, cut on a record's boundary once a day's worth at a
// one-minute poll (51,840 bytes) lies beyond them.
TEST(Journal, TheFileIsBoundedByItsSize)
{
    const uint64_t rows[][2] = {{0, 0}, {4731840, 0}, {4731841, 51876}, {4731876, 51876}, {6000000, 1320012}};
    for (const auto& row : rows) EXPECT_EQ(JournalKeepFrom(row[0]), row[1]) << row[0];
}

std::vector<std::string> Diagnose(const std::vector<JournalRecord>& records)
{
    static ClockDoctor doctor;
    doctor = ClockDoctor();
    for (const JournalRecord& record : records) DoctorTake(&doctor, record);
    char lines[DOCTOR_LINES][DOCTOR_LINE_SIZE];
    return std::vector<std::string>(lines, lines + FormatDoctorLines(ConcludeDoctor(doctor), lines));
}

const char kNothingUnusual[] = "起動時の時計にも、ずれ方にも、おかしなところは見つかりません。";
const char kFewStarts[] = "Windowsの起動後の記録がまだ足りません。";
const char kLoses21[] = "この時計は1日に約2.1秒遅れます（±0.0秒）";
const char kBattery[] = "電源を切っている間、時計が止まっています（切っていた時間だけ遅れます）。マザーボードの時計用の電池"
                        "（CMOS電池）が切れかけています。電池を交換してください。";

const char kNine[] = "Windowsを起動するたびに、時計がちょうど9時間遅れています。このPCのもう一つのOS（Linuxなど）が"
                     "ハードウェアの時計をUTCで合わせています。";
const char kUtc[] = "Linux側で「timedatectl set-local-rtc 1」を実行するか、Windows側でレジストリの HKLM\\SYSTEM\\"
                    "CurrentControlSet\\Control\\TimeZoneInformation に DWORD値 RealTimeIsUniversal を 1 で作ってください。";

// PCs polled every 10 minutes with a tolerance of 0.2 s. Without noise
// each stretch between corrections lies on its line: no margin. With ±1 ms
// (σ 0.6 ms) over 30 days, 210 stretches of 14 points over 2.3 h give
// Σ(t - t̄)² = 1.7e10 s², two standard errors 2σ/√Σ = 9e-9, 0.0008 s a day.
TEST(ClockDoctor, SimulatedPcsGetTheirDiagnosis)
{
    const struct {
        MadeHistoryPlan plan;
        std::vector<std::string> lines;
    } rows[] = {
        {{30, 10, -2.1, 0.2, 0.001, 8, START_AS_LEFT, 0}, {kLoses21, kNothingUnusual}},
        {{10, 10, 0.02, 0.2, 0, 8, START_AS_LEFT, 0}, {"この時計のずれは1日に0.1秒未満です（±0.0秒）", kNothingUnusual}},
        {{3, 10, 12.5, 0.2, 0, 0, START_AS_LEFT, 0},
         {"この時計は1日に約12.5秒進みます（±0.0秒）", "この時計のずれは水晶時計としては大きすぎます（1日に10秒を超えます）。"
                                                      "「分毎に調整を行う」の分数を小さくして、こまめに合わせてください。"}},
        {{10, 10, -1, 0.2, 0, 12, START_WHOLE_HOURS, 9}, {"この時計は1日に約1.0秒遅れます（±0.0秒）", kNine, kUtc}},
        // Off ten hours: whole hours too, but the time it was off explains them.
        {{10, 10, -2.1, 0.2, 0, 10, START_STOPPED, 0}, {kLoses21, kBattery}},
        {{2, 10, -2.1, 0.2, 0, 10, START_STOPPED, 0}, {kLoses21, kFewStarts}},  // one such start is no verdict
        {{2, 10, -2.1, 0.2, 0, 10, START_WHOLE_HOURS, 9}, {kLoses21, kFewStarts}},
        {{0.5, 10, -2.1, 0.2, 0, 0, START_AS_LEFT, 0}, {"診断には、少なくとも1日分の記録が必要です。"}},
    };
    for (const auto& row : rows) EXPECT_EQ(Diagnose(MakeHistory(row.plan)), row.lines) << row.plan.days;
}

const JournalKind R = JOURNAL_REPLY;
const ReplyOutcome W = REPLY_WITHIN_TOLERANCE, C = REPLY_CORRECTED;

// A record by hand, at seconds of true time with the clock so far behind
// (a reply's offset); then n replies a tenth of a day apart finding 0.2 s
// more each than the clock had after it.
void Add(std::vector<JournalRecord>* rs, JournalKind k, ReplyOutcome o, uint32_t up, int64_t t, double behind, int n = 0)
{
    int64_t llBehind = (int64_t)(behind * 4294967296.0);
    rs->push_back({k, o, up, 0xEEC3DC6000000000ull + ((uint64_t)t << 32) - llBehind, k == R ? llBehind : 0, 0});
    for (int i = 1; i <= n; ++i) Add(rs, R, W, up + 8640 * i, t + 8640 * i, (o == C ? 0 : behind) + 0.2 * i);
}

// Clocks losing 2 s a day, over one day of replies in all.
TEST(ClockDoctor, HandMadeHistoriesCatchTheEdges)
{
    std::vector<JournalRecord> rows[8];
    // A reply too slow to trust finds 30 s; a correction at 0.6 s starts the next stretch from zero.
    Add(&rows[0], R, W, 1000, 0, 0, 2);
    Add(&rows[0], R, REPLY_TOO_SLOW, 22600, 21600, 30);
    Add(&rows[0], R, C, 26920, 25920, 0.6, 7);
    // Twice off ten hours with the clock stopped, the program started 100
    // minutes after Windows; the first time only the boot, 10 s after the
    // END by the clock, shows the start.
    Add(&rows[1], JOURNAL_START, W, 50, 0, 0);
    Add(&rows[1], R, W, 60, 10, 0);
    Add(&rows[1], JOURNAL_END, W, 250, 200, 0);
    Add(&rows[1], JOURNAL_START, W, 6000, 42210, 36000);
    Add(&rows[1], R, C, 6010, 42220, 36000, 10);
    Add(&rows[1], JOURNAL_END, W, 92500, 128710, 2);
    Add(&rows[1], JOURNAL_START, W, 6000, 170720, 36002);
    Add(&rows[1], R, C, 6010, 170730, 36002);
    // A sleep of 36 days, after which the clock is 72 s further behind, just as the drift has it.
    Add(&rows[2], R, W, 1000, 0, 0, 10);
    Add(&rows[2], JOURNAL_SLEEP, W, 87500, 86500, 2);
    Add(&rows[2], JOURNAL_WAKE, W, 3197760, 3196760, 74);
    Add(&rows[2], R, W, 3197800, 3196800, 74);
    // Five stretches of 0.2 day, each ended by a correction, losing 1.5, 2.5, 1.5, 2.5, 2.0 s a day:
    // residuals Σ(a - ā)²/2 = 0.02 s² over 10 - 5 - 1 degrees of freedom, Σ(t - t̄)² = 5 · 17280²/2,
    // two standard errors 2√(0.02 / 4 / 7.46e8) = 5.2e-6, 0.45 s a day.
    const double kLost[] = {0, 0.3, 0.5, 0.3, 0.5, 0.4};
    for (int i = 0; i <= 5; ++i) Add(&rows[3], R, C, 1000 + 17280 * i, 17280 * i, kLost[i]);
    // Fast Startup: the uptime runs on through two nights of ten hours off, and the clock stops;
    // then the same with the clock running, and a restart of the program alone in between.
    for (int i : {4, 5}) {
        double night = i == 4 ? 36000 : 0.8;
        Add(&rows[i], JOURNAL_START, W, 50, 0, 0);
        Add(&rows[i], R, W, 60, 10, 0);
        Add(&rows[i], JOURNAL_END, W, 250, 200, 0);
        Add(&rows[i], JOURNAL_START, W, 36260, 36210, night);
        Add(&rows[i], R, C, 36270, 36220, night, 10);
        Add(&rows[i], JOURNAL_END, W, 122760, 122710, 2);
        Add(&rows[i], JOURNAL_START, W, 122765, 122715, 2);
        Add(&rows[i], R, W, 122770, 122720, 2);
        Add(&rows[i], JOURNAL_END, W, 122800, 122750, 2);
        Add(&rows[i], JOURNAL_START, W, 158810, 158760, 2 + night);
        Add(&rows[i], R, W, 158820, 158770, 2 + night);
    }
    // Two reboots of ten minutes through a system that keeps the hardware clock in UTC: a start of
    // Windows is judged however short.
    for (int d = 0; d < 3; ++d) {
        Add(&rows[6], JOURNAL_START, W, 50, 87050 * d, d == 0 ? 0 : 32402);
        Add(&rows[6], R, d == 0 ? W : C, 60, 87050 * d + 10, d == 0 ? 0 : 32402, 10);
        Add(&rows[6], JOURNAL_END, W, 86500, 87050 * d + 86450, 2);
    }
    // 20 h without a record, the uptime running on, and the clock 100 s further behind: the stretch ends.
    Add(&rows[7], R, W, 1000, 0, 0, 10);
    Add(&rows[7], R, W, 159400, 158400, 102, 10);
    const char kDrift[] = "この時計は1日に約2.0秒遅れます（±0.0秒）";
    const std::vector<std::string> expected[] = {{kDrift, kFewStarts}, {kDrift, kBattery}, {kDrift, kNothingUnusual},
                                                 {"この時計は1日に約2.0秒遅れます（±0.4秒）", kFewStarts},
                                                 {kDrift, kBattery}, {kDrift, kNothingUnusual}, {kDrift, kNine, kUtc},
                                                 {kDrift, kFewStarts}};
    for (int i = 0; i < 8; ++i) EXPECT_EQ(Diagnose(rows[i]), expected[i]) << i;
}

}  // namespace
