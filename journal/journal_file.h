// The history's file, history.dat in the program's folder: records appended
// one whole record a write, so that a crash or a power cut loses at most the
// record being written, and read back oldest first, skipping whatever is
// torn or corrupt. Only its newest records are kept, however the clock
// reads. A file that cannot be read or written costs a log line, never the
// program.
#pragma once

#include <windows.h>

#include "journal/journal_record.h"

// Every intact record kept, oldest first, to onRecord; the older part of
// the file is dropped once it holds a day's worth beyond the bound. Then
// the file stays open for appending.
void OpenJournal(void (*onRecord)(const JournalRecord& record));

// Appends one record; after a failure the file is closed and the history
// goes unrecorded until the next start.
void AppendJournal(const JournalRecord& record);

void CloseJournal();

// The calls that put the file on the disk, replaceable so that tests can
// see what only a power cut would show: the rewritten file flushed before
// it takes the old one's place, and the replacement written through.
struct JournalCalls {
    BOOL(WINAPI* FlushFileBuffers)(HANDLE file);
    BOOL(WINAPI* MoveFileExA)(LPCSTR from, LPCSTR to, DWORD flags);
};

extern JournalCalls journalCalls;  // the real calls unless a test replaced them
extern const JournalCalls realJournalCalls;
