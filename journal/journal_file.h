// The history's file, history.dat in the program's folder: records appended
// one whole record a write, so that a crash or a power cut loses at most the
// record being written, and read back oldest first, skipping whatever is
// torn or corrupt. Only its last 90 days are kept. A file that cannot be
// read or written costs a log line, never the program.
#pragma once

#include "journal/journal_record.h"

// Every intact record of the last 90 days before qwNow, oldest first, to
// onRecord; the older part of the file is dropped once it holds a day's
// worth of replies. Then the file stays open for appending.
void OpenJournal(NtpTimestamp qwNow, void (*onRecord)(const JournalRecord& record));

// Appends one record; after a failure the file is closed and the history
// goes unrecorded until the next start.
void AppendJournal(const JournalRecord& record);

void CloseJournal();
