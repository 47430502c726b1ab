#include "control/control_call.h"

const char* controlPipeName = "\\\\.\\pipe\\TamarinTime";

namespace {

const DWORD kConnectWait_ms = 2000;

HANDLE Connect()
{
    for (DWORD waited = 0; waited <= kConnectWait_ms; waited += 100) {
        HANDLE hPipe = CreateFileA(controlPipeName, GENERIC_READ | GENERIC_WRITE, 0, NULL, OPEN_EXISTING,
                                   FILE_FLAG_OVERLAPPED | SECURITY_SQOS_PRESENT | SECURITY_IDENTIFICATION, NULL);
        if (hPipe != INVALID_HANDLE_VALUE) return hPipe;
        if (GetLastError() != ERROR_PIPE_BUSY) break;  // none runs
        WaitNamedPipeA(controlPipeName, 100);
    }
    return INVALID_HANDLE_VALUE;
}

// One overlapped read or write, given up (and cancelled) after dwWait_ms.
bool Transfer(HANDLE hPipe, bool fWrite, void* pvData, DWORD cbData, DWORD* pcbDone, DWORD dwWait_ms)
{
    OVERLAPPED ov = {};
    ov.hEvent = CreateEventA(NULL, TRUE, FALSE, NULL);
    if (ov.hEvent == NULL) return false;
    BOOL fDone = fWrite ? WriteFile(hPipe, pvData, cbData, NULL, &ov) : ReadFile(hPipe, pvData, cbData, NULL, &ov);
    if (!fDone && GetLastError() == ERROR_IO_PENDING && WaitForSingleObject(ov.hEvent, dwWait_ms) != WAIT_OBJECT_0) {
        CancelIo(hPipe);
    }
    fDone = GetOverlappedResult(hPipe, &ov, pcbDone, TRUE);
    CloseHandle(ov.hEvent);
    return fDone != FALSE;
}

}  // namespace

ControlRequest ControlRequestOf(uint32_t dwCommand)
{
    ControlRequest request = {};
    request.dwMagic = CONTROL_MAGIC;
    request.dwVersion = CONTROL_VERSION;
    request.dwCommand = dwCommand;
    return request;
}

bool CallControlPipe(const ControlRequest& request, void* pvAnswer, DWORD cbAnswer, DWORD dwWait_ms)
{
    HANDLE hPipe = Connect();
    if (hPipe == INVALID_HANDLE_VALUE) return false;
    DWORD dwMode = PIPE_READMODE_MESSAGE;
    SetNamedPipeHandleState(hPipe, &dwMode, NULL, NULL);
    ControlRequest sent = request;
    DWORD cbDone = 0;
    bool fOk = Transfer(hPipe, true, &sent, sizeof sent, &cbDone, dwWait_ms) && cbDone == sizeof sent &&
               Transfer(hPipe, false, pvAnswer, cbAnswer, &cbDone, dwWait_ms) && cbDone == cbAnswer &&
               ((const ControlStatus*)pvAnswer)->dwMagic == CONTROL_MAGIC;
    CloseHandle(hPipe);
    return fOk;
}
