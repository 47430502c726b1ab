#include "app/control_pipe.h"

#include <string.h>

#include "base/administrators.h"
#include "control/control_call.h"
#include "history/reply_history.h"
#include "journal/history_keeper.h"
#include "log/activity_log.h"
#include "settings/settings_table.h"
#include "sntp/client.h"
#include "sntp/server.h"


namespace {

const int kInstances = 3;  // the tray, a script's resync and one more never wait on each other
const DWORD kResyncWait_ms = 60000;
const DWORD kResyncPace_ms = 250;

HWND hPipeHost = NULL;
bool fHostIsService = false;
HANDLE ahThreads[kInstances] = {};
volatile LONG fStopping = 0;

// Full control for SYSTEM and administrators; reading and writing for
// those logged on at this machine. The pipe also refuses remote clients.
struct PipeAccess {
    BYTE abSids[3][SECURITY_MAX_SID_SIZE];
    BYTE abAcl[256];
    SECURITY_DESCRIPTOR sd;
};

bool MakePipeAccess(PipeAccess* access)
{
    const WELL_KNOWN_SID_TYPE types[3] = {WinLocalSystemSid, WinBuiltinAdministratorsSid, WinInteractiveSid};
    const DWORD masks[3] = {GENERIC_ALL, GENERIC_ALL, GENERIC_READ | GENERIC_WRITE};
    ACL* acl = (ACL*)access->abAcl;
    if (!InitializeAcl(acl, sizeof access->abAcl, ACL_REVISION)) return false;
    for (int i = 0; i < 3; ++i) {
        DWORD cbSid = SECURITY_MAX_SID_SIZE;
        if (!CreateWellKnownSid(types[i], NULL, access->abSids[i], &cbSid)) return false;
        if (!AddAccessAllowedAce(acl, ACL_REVISION, masks[i], access->abSids[i])) return false;
    }
    return InitializeSecurityDescriptor(&access->sd, SECURITY_DESCRIPTOR_REVISION) &&
           SetSecurityDescriptorDacl(&access->sd, TRUE, acl, FALSE);
}

HANDLE CreatePipe(bool fFirst)
{
    static PipeAccess access;
    if (fFirst && !MakePipeAccess(&access)) return INVALID_HANDLE_VALUE;
    SECURITY_ATTRIBUTES sa = {sizeof sa, &access.sd, FALSE};
    return CreateNamedPipeA(controlPipeName, PIPE_ACCESS_DUPLEX | (fFirst ? FILE_FLAG_FIRST_PIPE_INSTANCE : 0),
                            PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE | PIPE_WAIT | PIPE_REJECT_REMOTE_CLIENTS,
                            kInstances, sizeof(ControlNews), sizeof(ControlRequest), 0, &sa);
}

// The client's own token, read by impersonating it.
bool PipeCallerIsElevatedAdministrator(HANDLE hPipe)
{
    if (!ImpersonateNamedPipeClient(hPipe)) return false;
    HANDLE hToken = NULL;
    BOOL fGot = OpenThreadToken(GetCurrentThread(), TOKEN_QUERY, TRUE, &hToken);
    RevertToSelf();
    if (!fGot) return false;
    bool fAdmin = IsElevatedAdministrator(hToken);
    CloseHandle(hToken);
    return fAdmin;
}

void Ask(const ControlRequest& request, ControlNews* news)
{
    SendMessageA(hPipeHost, WM_CONTROL_REQUEST, (WPARAM)&request, (LPARAM)news);
}

// A resync ends when a reply newer than the request has been judged.
void Resync(const ControlRequest& request, ControlNews* news)
{
    Ask(request, news);
    ControlRequest look = request;
    look.dwCommand = CONTROL_STATUS;
    const uint64_t qwBefore = news->status.qwLastJudged;
    for (DWORD waited = 0; waited < kResyncWait_ms && !fStopping; waited += kResyncPace_ms) {
        Sleep(kResyncPace_ms);
        Ask(look, news);
        if (news->status.qwLastJudged != qwBefore) return;
    }
    news->status.dwResult = CONTROL_TIMED_OUT;
}

bool IsChange(uint32_t dwCommand)
{
    return dwCommand == CONTROL_ONLINE || dwCommand == CONTROL_SETTINGS;
}

// What the request asks, and how much of the answer goes back.
DWORD Answer(HANDLE hPipe, const ControlRequest& request, ControlNews* news)
{
    const uint32_t dwCommand = request.dwCommand;
    if (dwCommand == CONTROL_RESYNC) {
        Resync(request, news);
    } else if (dwCommand == CONTROL_STATUS || dwCommand == CONTROL_FOLLOW) {
        Ask(request, news);
    } else if (IsChange(dwCommand) && fHostIsService) {
        ControlRequest look = request;
        if (!pipeCallerMayChange(hPipe)) look.dwCommand = CONTROL_STATUS;
        Ask(look, news);
        if (look.dwCommand != dwCommand) news->status.dwResult = CONTROL_REFUSED;
    }
    return dwCommand == CONTROL_FOLLOW ? sizeof *news : sizeof news->status;
}

void Serve(HANDLE hPipe)
{
    ControlNews news = {};  // a few KiB, on this thread's own stack
    ControlRequest request = {};
    DWORD cbRead = 0;
    news.status = {CONTROL_MAGIC, CONTROL_VERSION, CONTROL_UNKNOWN};
    DWORD cbAnswer = sizeof news.status;
    if (ReadFile(hPipe, &request, sizeof request, &cbRead, NULL) && cbRead == sizeof request &&
        request.dwMagic == CONTROL_MAGIC && request.dwVersion == CONTROL_VERSION) {
        cbAnswer = Answer(hPipe, request, &news);
    }
    DWORD cbWritten = 0;
    WriteFile(hPipe, &news, cbAnswer, &cbWritten, NULL);
    FlushFileBuffers(hPipe);
}

DWORD WINAPI ServeClients(LPVOID pvPipe)
{
    HANDLE hPipe = (HANDLE)pvPipe;
    while (!fStopping) {
        if (ConnectNamedPipe(hPipe, NULL) || GetLastError() == ERROR_PIPE_CONNECTED) {
            if (!fStopping) Serve(hPipe);
        }
        DisconnectNamedPipe(hPipe);
    }
    CloseHandle(hPipe);
    return 0;
}

void FillStatus(const ClientReport& report, ControlStatus* status)
{
    status->dwResult = CONTROL_DONE;
    status->nStatus = report.nStatus;
    status->fSynchronized = report.reference.fSynchronized;
    status->fChecked = ClockIsChecked(report);
    status->fServerModeRunning = ServerModeRunning();
    status->nServedStratum = report.reference.nUpstreamStratum + 1;
    status->nInterval_sec = report.nInterval_sec;
    status->wServerPort = report.saServer.sin_port;
    memcpy(status->abServerAddress, &report.saServer.sin_addr, 4);
    status->qwLastJudged = report.qwLastJudged;
    status->llLastOffset = report.llLastOffset;
    status->nAgreeing = (uint8_t)report.nAgreeing;
    status->nSources = (uint8_t)report.nSources;
    lstrcpynA(status->szServer, settings.szServerName, sizeof status->szServer);
}

// Counted from 0 at the first ever appended, the first of those kept is
// number appended - kept; the asker gets them from the first it lacks.
uint64_t FirstNews(uint64_t qwSeen, uint64_t qwAppended, int nKept, uint32_t* pnCount)
{
    uint64_t qwOldest = qwAppended - (uint64_t)nKept;
    uint64_t qwFirst = qwSeen < qwOldest || qwSeen > qwAppended ? qwOldest : qwSeen;
    uint64_t qwNew = qwAppended - qwFirst;
    *pnCount = (uint32_t)(qwNew < (uint64_t)CONTROL_NEWS_ITEMS ? qwNew : (uint64_t)CONTROL_NEWS_ITEMS);
    return qwFirst;
}

void FillNews(const ControlRequest& request, const ClientReport& report, ControlNews* news)
{
    news->fHostIsService = fHostIsService;
    news->report = report;
    news->settings = settings;
    const uint64_t qwLineBase = LogSequence() - (uint64_t)LogLineCount();
    news->qwFirstLine = FirstNews(request.qwLinesSeen, LogSequence(), LogLineCount(), &news->nLines);
    for (uint32_t i = 0; i < news->nLines; ++i) {
        int nAt = (int)(news->qwFirstLine - qwLineBase) + (int)i;
        news->aLines[i].local = LogLineTimeAt(nAt);
        lstrcpynA(news->aLines[i].szText, LogLineAt(nAt), LOG_LINE_SIZE);
    }
    const uint64_t qwReplyBase = judgedReplies.qwAppended - (uint64_t)judgedReplies.nCount;
    news->qwFirstReply =
        FirstNews(request.qwRepliesSeen, judgedReplies.qwAppended, judgedReplies.nCount, &news->nReplies);
    for (uint32_t i = 0; i < news->nReplies; ++i) {
        news->aReplies[i] = HistoryAt(judgedReplies, (int)(news->qwFirstReply - qwReplyBase) + (int)i);
    }
    news->nDoctorLines = DoctorSays(news->aszDoctor);
}

}  // namespace

bool (*pipeCallerMayChange)(HANDLE hPipe) = PipeCallerIsElevatedAdministrator;

bool StartControlPipe(HWND hHost, bool fServiceHost)
{
    hPipeHost = hHost;
    fHostIsService = fServiceHost;
    fStopping = 0;
    for (int i = 0; i < kInstances; ++i) {
        HANDLE hPipe = CreatePipe(i == 0);
        if (hPipe == INVALID_HANDLE_VALUE) return i > 0;
        ahThreads[i] = CreateThread(NULL, 0, ServeClients, hPipe, 0, NULL);
        if (ahThreads[i] == NULL) {
            CloseHandle(hPipe);
            return i > 0;
        }
    }
    return true;
}

void StopControlPipe()
{
    InterlockedExchange(&fStopping, 1);
    // Each thread waits for a client: be that client, so that it looks again.
    HANDLE ahClients[kInstances];
    for (int i = 0; i < kInstances; ++i) {
        ahClients[i] = ahThreads[i] == NULL ? INVALID_HANDLE_VALUE
                                            : CreateFileA(controlPipeName, GENERIC_READ | GENERIC_WRITE, 0, NULL,
                                                          OPEN_EXISTING, 0, NULL);
    }
    for (int i = 0; i < kInstances; ++i) {
        if (ahThreads[i] == NULL) continue;
        if (WaitForSingleObject(ahThreads[i], 5000) != WAIT_OBJECT_0) TerminateThread(ahThreads[i], 0);
        CloseHandle(ahThreads[i]);
        ahThreads[i] = NULL;
        if (ahClients[i] != INVALID_HANDLE_VALUE) CloseHandle(ahClients[i]);
    }
}

void AnswerControlRequest(const ControlRequest& request, ControlNews* news)
{
    if (request.dwCommand == CONTROL_RESYNC) PollNow();
    if (request.dwCommand == CONTROL_ONLINE && (ReportClient().nFace != FACE_OFFLINE) != (request.dwValue != 0)) {
        ToggleOnline();
    }
    const ClientReport report = ReportClient();
    news->status.dwMagic = CONTROL_MAGIC;
    news->status.dwVersion = CONTROL_VERSION;
    FillStatus(report, &news->status);
    if (request.dwCommand == CONTROL_FOLLOW) FillNews(request, report, news);
}
