#include "journal/journal_file.h"

#include <windows.h>

#include "base/app_data.h"
#include "log/activity_log.h"
#include "log/log_format.h"

namespace {

const char kJournalName[] = "history.dat";
const char kRewriteName[] = "history.new";

HANDLE hJournal = INVALID_HANDLE_VALUE;
uint8_t chunk[64 * 1024];  // records are read through it: the file may hold 130,000

// Calls onRecord for each intact record from file offset qwFrom on.
void ScanFile(HANDLE hFile, uint64_t qwFrom, void (*onRecord)(const JournalRecord&))
{
    LARGE_INTEGER from;
    from.QuadPart = (LONGLONG)qwFrom;
    SetFilePointerEx(hFile, from, NULL, FILE_BEGIN);
    size_t nHeld = 0;
    DWORD nRead;
    while (ReadFile(hFile, chunk + nHeld, (DWORD)(sizeof chunk - nHeld), &nRead, NULL) && nRead > 0) {
        nHeld += nRead;
        size_t nAt = 0, nUsed;
        JournalRecord record;
        while (ScanJournal(chunk + nAt, nHeld - nAt, &record, &nUsed)) {
            nAt += nUsed;
            onRecord(record);
        }
        nAt += nUsed;
        memmove(chunk, chunk + nAt, nHeld - nAt);
        nHeld -= nAt;
    }
}

// The file from qwFrom on, copied to a new file, which then takes the
// place of the old one once that is closed (hFile is closed either way).
// Whether it did; should it fail, the old file stays whole.
bool DropOlderPart(HANDLE hFile, uint64_t qwFrom, const char* szPath)
{
    char szNew[MAX_PATH];
    HANDLE hNew = AppDataPath(szNew, kRewriteName)
                      ? CreateFileA(szNew, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, NULL)
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
    // On the disk before it replaces the old one, and the replacement too:
    // else a power cut could leave a history.dat of zeros.
    fCopied = fCopied && journalCalls.FlushFileBuffers(hNew);
    CloseHandle(hNew);
    if (fCopied && journalCalls.MoveFileExA(szNew, szPath, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        return true;
    }
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
void ReadKeptRecords(const char* szPath, void (*onRecord)(const JournalRecord&))
{
    HANDLE hFile = OpenForReading(szPath);
    LARGE_INTEGER size;
    if (hFile == INVALID_HANDLE_VALUE) return;
    uint64_t qwKeepFrom = GetFileSizeEx(hFile, &size) ? JournalKeepFrom((uint64_t)size.QuadPart) : 0;
    if (qwKeepFrom != 0) {
        // The new file begins where the part to keep began; should the
        // rewrite fail, the old one is read from there.
        if (DropOlderPart(hFile, qwKeepFrom, szPath)) qwKeepFrom = 0;
        hFile = OpenForReading(szPath);
        if (hFile == INVALID_HANDLE_VALUE) return;
    }
    ScanFile(hFile, qwKeepFrom, onRecord);
    CloseHandle(hFile);
}

}  // namespace

const JournalCalls realJournalCalls = {FlushFileBuffers, MoveFileExA};

JournalCalls journalCalls = realJournalCalls;

void OpenJournal(void (*onRecord)(const JournalRecord& record))
{
    CloseJournal();
    char szPath[MAX_PATH];
    if (!AppDataPath(szPath, kJournalName)) {
        FailJournal();
        return;
    }
    ReadKeptRecords(szPath, onRecord);
    hJournal = CreateFileA(szPath, FILE_APPEND_DATA, FILE_SHARE_READ, NULL, OPEN_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, NULL);
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
    journalCalls.FlushFileBuffers(hJournal);
}

void CloseJournal()
{
    if (hJournal != INVALID_HANDLE_VALUE) CloseHandle(hJournal);
    hJournal = INVALID_HANDLE_VALUE;
}
