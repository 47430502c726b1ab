#include "journal/journal_file.h"

#include <windows.h>

#include "base/app_data.h"
#include "log/activity_log.h"
#include "log/log_format.h"

namespace {

const char kJournalName[] = "history.dat";
const char kRewriteName[] = "history.new";
const NtpTimestamp kKept = (NtpTimestamp)(90 * 86400) << 32;
const NtpTimestamp kDropAfter = (NtpTimestamp)(91 * 86400) << 32;  // so the file is rewritten once a day at most

HANDLE hJournal = INVALID_HANDLE_VALUE;
uint8_t chunk[64 * 1024];  // records are read through it: the file may hold 130,000

// A reply's own time is the true one: the clock's reading is not to be
// trusted after a start (it may be hours off), the server's is.
bool IsBefore(const JournalRecord& record, NtpTimestamp qwWhen)
{
    return record.nKind == JOURNAL_REPLY && record.qwTime + (uint64_t)record.llOffset < qwWhen;
}

// Where the part of the file to keep begins: just past the last reply
// older than the days kept; and whether the part to drop is worth a rewrite.
struct JournalCut {
    uint64_t qwKeepFrom;
    bool fRewrite;
};

// Calls onRecord for each intact record from file offset qwFrom on.
JournalCut ScanFile(HANDLE hFile, uint64_t qwFrom, NtpTimestamp qwNow, void (*onRecord)(const JournalRecord&))
{
    LARGE_INTEGER from;
    from.QuadPart = (LONGLONG)qwFrom;
    SetFilePointerEx(hFile, from, NULL, FILE_BEGIN);
    JournalCut cut = {0, false};
    uint64_t qwChunkAt = qwFrom;  // the file offset of chunk[0]
    size_t nHeld = 0;
    DWORD nRead;
    while (ReadFile(hFile, chunk + nHeld, (DWORD)(sizeof chunk - nHeld), &nRead, NULL) && nRead > 0) {
        nHeld += nRead;
        size_t nAt = 0, nUsed;
        JournalRecord record;
        while (ScanJournal(chunk + nAt, nHeld - nAt, &record, &nUsed)) {
            nAt += nUsed;
            if (IsBefore(record, qwNow - kKept)) cut.qwKeepFrom = qwChunkAt + nAt;
            cut.fRewrite = cut.fRewrite || IsBefore(record, qwNow - kDropAfter);
            if (onRecord != NULL) onRecord(record);
        }
        nAt += nUsed;
        memmove(chunk, chunk + nAt, nHeld - nAt);
        nHeld -= nAt;
        qwChunkAt += nAt;
    }
    return cut;
}

// The file from qwFrom on, copied to a new file, which then takes the
// place of the old one once that is closed (hFile is closed either way).
// Whether it did; should it fail, the old file stays whole.
bool DropOlderPart(HANDLE hFile, uint64_t qwFrom, const char* szPath)
{
    char szNew[MAX_PATH];
    HANDLE hNew = AppDataPath(szNew, kRewriteName)
                      ? CreateFileA(szNew, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL)
                      : INVALID_HANDLE_VALUE;
    LARGE_INTEGER from;
    from.QuadPart = (LONGLONG)qwFrom;
    bool fCopied = hNew != INVALID_HANDLE_VALUE && SetFilePointerEx(hFile, from, NULL, FILE_BEGIN);
    DWORD nRead, nWritten;
    while (fCopied && ReadFile(hFile, chunk, sizeof chunk, &nRead, NULL) && nRead > 0) {
        fCopied = WriteFile(hNew, chunk, nRead, &nWritten, NULL) && nWritten == nRead;
    }
    CloseHandle(hFile);
    if (hNew == INVALID_HANDLE_VALUE) return false;
    CloseHandle(hNew);
    if (fCopied && MoveFileExA(szNew, szPath, MOVEFILE_REPLACE_EXISTING)) return true;
    DeleteFileA(szNew);
    return false;
}

HANDLE OpenForReading(const char* szPath)
{
    return CreateFileA(szPath, GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL);
}

void FailJournal()
{
    LogLineBuffer line;
    FormatLogLine(line, "履歴ファイルに書けないため、履歴を残せません (%d)", (int)GetLastError());
    LogLine(line);
    CloseJournal();
}

// The records to keep, to onRecord, after the older part is dropped.
void ReadKeptRecords(const char* szPath, NtpTimestamp qwNow, void (*onRecord)(const JournalRecord&))
{
    HANDLE hFile = OpenForReading(szPath);
    if (hFile == INVALID_HANDLE_VALUE) return;
    JournalCut cut = ScanFile(hFile, 0, qwNow, NULL);
    if (cut.fRewrite) {
        // The new file begins where the part to keep began.
        if (DropOlderPart(hFile, cut.qwKeepFrom, szPath)) cut.qwKeepFrom = 0;
        hFile = OpenForReading(szPath);
        if (hFile == INVALID_HANDLE_VALUE) return;
    }
    ScanFile(hFile, cut.qwKeepFrom, qwNow, onRecord);
    CloseHandle(hFile);
}

}  // namespace

void OpenJournal(NtpTimestamp qwNow, void (*onRecord)(const JournalRecord& record))
{
    CloseJournal();
    char szPath[MAX_PATH];
    if (!AppDataPath(szPath, kJournalName)) {
        FailJournal();
        return;
    }
    ReadKeptRecords(szPath, qwNow, onRecord);
    hJournal = CreateFileA(szPath, FILE_APPEND_DATA, FILE_SHARE_READ, NULL, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    if (hJournal == INVALID_HANDLE_VALUE) FailJournal();
}

void AppendJournal(const JournalRecord& record)
{
    if (hJournal == INVALID_HANDLE_VALUE) return;
    JournalBytes bytes;
    EncodeJournalRecord(record, bytes);
    DWORD nWritten;
    if (!WriteFile(hJournal, bytes, sizeof bytes, &nWritten, NULL) || nWritten != sizeof bytes) {
        FailJournal();
        return;
    }
    // On the disk before the next: a power cut then costs no more than the
    // record being written. Records come minutes apart.
    FlushFileBuffers(hJournal);
}

void CloseJournal()
{
    if (hJournal != INVALID_HANDLE_VALUE) CloseHandle(hJournal);
    hJournal = INVALID_HANDLE_VALUE;
}
