#include "app/control_pipe.h"

#include <string.h>

#include "settings/settings_table.h"
#include "sntp/client.h"
#include "sntp/server.h"


namespace {

const char kPipeName[] = "\\\\.\\pipe\\TamarinTime";
const DWORD kResyncWait_ms = 60000;
const DWORD kResyncPace_ms = 250;

HWND hPipeHost = NULL;
HANDLE hThread = NULL;
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

HANDLE CreatePipe()
{
    static PipeAccess access;
    if (!MakePipeAccess(&access)) return INVALID_HANDLE_VALUE;
    SECURITY_ATTRIBUTES sa = {sizeof sa, &access.sd, FALSE};
    return CreateNamedPipeA(kPipeName, PIPE_ACCESS_DUPLEX | FILE_FLAG_FIRST_PIPE_INSTANCE,
                            PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE | PIPE_WAIT | PIPE_REJECT_REMOTE_CLIENTS, 1,
                            sizeof(ControlStatus), sizeof(ControlRequest), 0, &sa);
}

ControlStatus Ask(const ControlRequest& request)
{
    ControlStatus status = {};
    SendMessageA(hPipeHost, WM_CONTROL_REQUEST, (WPARAM)&request, (LPARAM)&status);
    return status;
}

// A resync ends when a reply newer than the request has been judged.
ControlStatus Resync(const ControlRequest& request)
{
    ControlStatus status = Ask(request);
    const ControlRequest look = {CONTROL_MAGIC, CONTROL_VERSION, CONTROL_STATUS};
    const uint64_t qwBefore = status.qwLastJudged;
    for (DWORD waited = 0; waited < kResyncWait_ms && !fStopping; waited += kResyncPace_ms) {
        Sleep(kResyncPace_ms);
        status = Ask(look);
        if (status.qwLastJudged != qwBefore) return status;
    }
    status.dwResult = CONTROL_TIMED_OUT;
    return status;
}

void Serve(HANDLE hPipe)
{
    ControlRequest request = {};
    DWORD cbRead = 0;
    ControlStatus status = {CONTROL_MAGIC, CONTROL_VERSION, CONTROL_UNKNOWN};
    if (ReadFile(hPipe, &request, sizeof request, &cbRead, NULL) && cbRead == sizeof request &&
        request.dwMagic == CONTROL_MAGIC && request.dwVersion == CONTROL_VERSION) {
        if (request.dwCommand == CONTROL_STATUS) status = Ask(request);
        if (request.dwCommand == CONTROL_RESYNC) status = Resync(request);
    }
    DWORD cbWritten = 0;
    WriteFile(hPipe, &status, sizeof status, &cbWritten, NULL);
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

}  // namespace

bool StartControlPipe(HWND hHost)
{
    HANDLE hPipe = CreatePipe();
    if (hPipe == INVALID_HANDLE_VALUE) return false;
    hPipeHost = hHost;
    fStopping = 0;
    hThread = CreateThread(NULL, 0, ServeClients, hPipe, 0, NULL);
    if (hThread == NULL) CloseHandle(hPipe);
    return hThread != NULL;
}

void StopControlPipe()
{
    if (hThread == NULL) return;
    InterlockedExchange(&fStopping, 1);
    // The thread waits for a client: be that client, so that it looks again.
    HANDLE hClient = CreateFileA(kPipeName, GENERIC_READ | GENERIC_WRITE, 0, NULL, OPEN_EXISTING, 0, NULL);
    if (WaitForSingleObject(hThread, 5000) != WAIT_OBJECT_0) TerminateThread(hThread, 0);
    if (hClient != INVALID_HANDLE_VALUE) CloseHandle(hClient);
    CloseHandle(hThread);
    hThread = NULL;
}

void AnswerControlRequest(const ControlRequest& request, ControlStatus* status)
{
    if (request.dwCommand == CONTROL_RESYNC) PollNow();
    const ClientReport report = ReportClient();
    memset(status, 0, sizeof *status);
    status->dwMagic = CONTROL_MAGIC;
    status->dwVersion = CONTROL_VERSION;
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
    lstrcpynA(status->szServer, settings.szServerName, sizeof status->szServer);
}
