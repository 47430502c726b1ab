#include "log/activity_log.h"

#include "base/app_data.h"
#include "log/log_format.h"
#include "log/log_ring.h"
#include "timebase/clock.h"

namespace {

// Lines that other threads are handing over, one a slot: a message is
// believed only when its slot holds its very text, which it then empties.
const int kHandOverSlots = 8;
PVOID volatile apHandedOver[kHandOverSlots];

// Carries the line to the owner's thread through a free slot, and empties
// the slot again should the owner be gone before taking it. With every slot
// taken (eight threads logging at once) the line is dropped rather than
// waited for.
void HandOverLine(LogCarrier pfnCarry, const char* text)
{
    for (int i = 0; i < kHandOverSlots; ++i) {
        if (InterlockedCompareExchangePointer(&apHandedOver[i], (PVOID)text, NULL) != NULL) continue;
        pfnCarry(i, text);
        InterlockedCompareExchangePointer(&apHandedOver[i], NULL, (PVOID)text);
        return;
    }
}

LogRing ring;
void (*OnLogChanged)() = NULL;
DWORD volatile dwOwner = 0;  // the thread on which lines are appended
LogCarrier volatile pfnCarrier = NULL;

const DWORD kMaxFileSize = 1024 * 1024;

const char* pszFileName = NULL;  // NULL: no file is kept
const char* pszOlderName = NULL;
HANDLE hLogFile = INVALID_HANDLE_VALUE;
DWORD dwFileSize = 0;
bool fFileFailing = false;  // said once; a line written again ends it

void CloseFile()
{
    if (hLogFile != INVALID_HANDLE_VALUE) CloseHandle(hLogFile);
    hLogFile = INVALID_HANDLE_VALUE;
}

// The error code, or 0. Only this program writes the file, so the end found
// now stays its end.
DWORD OpenFileToAppend()
{
    char szPath[MAX_PATH];
    if (!AppDataPath(szPath, pszFileName)) return GetLastError();
    hLogFile = CreateFileA(szPath, GENERIC_WRITE, FILE_SHARE_READ, NULL, OPEN_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, NULL);
    if (hLogFile == INVALID_HANDLE_VALUE) return GetLastError();
    dwFileSize = SetFilePointer(hLogFile, 0, NULL, FILE_END);  // past 4 GiB: taken as full
    return 0;
}

// The full file becomes the older one, replacing it, and a new one begins.
DWORD TurnFileOver()
{
    char szPath[MAX_PATH], szOlder[MAX_PATH];
    CloseFile();
    if (!AppDataPath(szPath, pszFileName) || !AppDataPath(szOlder, pszOlderName)) return GetLastError();
    if (!MoveFileExA(szPath, szOlder, MOVEFILE_REPLACE_EXISTING)) return GetLastError();
    return OpenFileToAppend();
}

// The newest line, stamped with its time, in one write, so that a crash loses
// at most the line being written. The error code, or 0; after an error the
// next line tries the file afresh.
DWORD WriteNewestLine(const SYSTEMTIME& local)
{
    if (pszFileName == NULL) return 0;
    StampedLineBuffer line;
    DWORD dwLength = (DWORD)FormatStampedLine(line, local, RingLine(&ring, ring.nCount - 1));
    DWORD dwError = hLogFile == INVALID_HANDLE_VALUE ? OpenFileToAppend() : 0;
    if (dwError == 0 && dwFileSize > kMaxFileSize - dwLength) dwError = TurnFileOver();
    DWORD dwWritten = 0;
    if (dwError == 0 && !WriteFile(hLogFile, line, dwLength, &dwWritten, NULL)) dwError = GetLastError();
    if (dwError != 0) CloseFile();
    dwFileSize += dwWritten;
    return dwError;
}

// On the owner's thread only, so that lines never interleave and the file
// needs no lock. The first of a run of failures is said in a line that is
// kept but not written, so that it cannot fail in turn.
void AppendLine(const char* text)
{
    SYSTEMTIME local = NtpToLocalTime(NtpNow());
    AppendToRing(&ring, text, local);
    DWORD dwError = WriteNewestLine(local);
    if (dwError != 0 && !fFileFailing) {
        LogLineBuffer line;
        FormatLogLine(line, "ログファイルを書けません (%lu)", (unsigned long)dwError);
        AppendToRing(&ring, line, local);
    }
    fFileFailing = dwError != 0;
    if (OnLogChanged != NULL) OnLogChanged();
}

}  // namespace

void LogLine(const char* text)
{
    DWORD owner = dwOwner;  // read once: the owner's thread clears it at the end
    LogCarrier pfnCarry = pfnCarrier;
    if (owner == 0) return;
    if (owner == GetCurrentThreadId()) {
        AppendLine(text);
    } else if (pfnCarry != NULL) {
        // A carrier that waits keeps the text alive until the owner has
        // appended it, and the owner appends it between two of its own lines.
        HandOverLine(pfnCarry, text);
    }
}

int LogLineCount()
{
    return ring.nCount;
}

const char* LogLineAt(int i)
{
    return RingLine(&ring, i);
}

const SYSTEMTIME& LogLineTimeAt(int i)
{
    return RingLineTime(&ring, i);
}

void LogForeignLine(const char* text, const SYSTEMTIME& local)
{
    AppendToRing(&ring, text, local);
    if (OnLogChanged != NULL) OnLogChanged();
}

size_t LogText(char (&text)[LOG_RING_TEXT_SIZE])
{
    return RingText(&ring, text);
}

uint64_t LogSequence()
{
    return ring.qwAppended;
}

void SetLogOwner(DWORD dwThreadId, LogCarrier pfnCarry)
{
    dwOwner = 0;
    pfnCarrier = pfnCarry;
    dwOwner = dwThreadId;
}

void SetLogView(void (*onChanged)())
{
    OnLogChanged = onChanged;
}

void LogError(const char* name, int code)
{
    LogLineBuffer line;
    FormatErrorLine(line, name, code);
    LogLine(line);
}

void OpenLogFile(const char* name, const char* olderName)
{
    CloseFile();
    pszFileName = name;
    pszOlderName = olderName;
    fFileFailing = false;
    // Before the window exists a failure could not be said: the first line
    // tries again, and says it.
    OpenFileToAppend();
}

void CloseLogFile()
{
    CloseFile();
    pszFileName = NULL;
}

void TakeCarriedLine(uintptr_t nSlot, const char* text)
{
    if (nSlot >= (uintptr_t)kHandOverSlots || text == NULL) return;
    if (InterlockedCompareExchangePointer(&apHandedOver[nSlot], NULL, (PVOID)text) != (PVOID)text) return;
    AppendLine(text);
}
