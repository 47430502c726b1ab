#include <gtest/gtest.h>
#include <windows.h>

#include "app/control_pipe.h"
#include "app/service_install.h"
#include "app/service_link.h"
#include "app/service_main.h"
#include "control/control_call.h"
#include "support/log_window.h"

namespace {

bool StandardUser()
{
    return false;
}

// Under Wine everyone is an administrator: a standard user's token is played.
TEST(Service, OnlyAnAdministratorInstallsOrRemovesIt)
{
    callerIsAdministrator = StandardUser;
    EXPECT_EQ(InstallService(), (DWORD)ERROR_ACCESS_DENIED);
    EXPECT_EQ(UninstallService(), (DWORD)ERROR_ACCESS_DENIED);
    callerIsAdministrator = CallerIsAdministrator;
    SC_HANDLE hManager = OpenSCManagerW(NULL, NULL, SC_MANAGER_CONNECT);
    ASSERT_NE(hManager, (SC_HANDLE)NULL);
    SC_HANDLE hService = OpenServiceW(hManager, SERVICE_NAME, SERVICE_QUERY_STATUS);
    EXPECT_EQ(hService, (SC_HANDLE)NULL) << "registered all the same";
    if (hService != NULL) CloseServiceHandle(hService);
    CloseServiceHandle(hManager);
}

// The pipe's host on a thread of its own, as the service's: it notes what
// it was asked to carry out.
struct PipeHost {
    bool fService;
    HANDLE hReady;
    DWORD dwThread;
    uint32_t dwCarriedOut;
};

LRESULT CALLBACK NotingHost(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (msg != WM_CONTROL_REQUEST) return DefWindowProcA(hwnd, msg, wParam, lParam);
    PipeHost* host = (PipeHost*)GetWindowLongPtrA(hwnd, GWLP_USERDATA);
    host->dwCarriedOut = ((const ControlRequest*)wParam)->dwCommand;
    *(ControlNews*)lParam = ControlNews{};
    ((ControlNews*)lParam)->status = {CONTROL_MAGIC, CONTROL_VERSION, CONTROL_DONE};
    return 0;
}

DWORD WINAPI RunPipeHost(LPVOID pv)
{
    PipeHost* host = (PipeHost*)pv;
    WNDCLASSA wc = {};
    wc.lpfnWndProc = NotingHost;
    wc.lpszClassName = "NotingHost";
    RegisterClassA(&wc);
    HWND hwnd = CreateWindowExA(0, wc.lpszClassName, "", 0, 0, 0, 0, 0, HWND_MESSAGE, NULL, NULL, NULL);
    SetWindowLongPtrA(hwnd, GWLP_USERDATA, (LONG_PTR)host);
    StartControlPipe(hwnd, host->fService);
    SetEvent(host->hReady);
    MSG msg;
    while (GetMessageA(&msg, NULL, 0, 0) > 0) DispatchMessageA(&msg);
    StopControlPipe();
    DestroyWindow(hwnd);
    return 0;
}

// Changes are the service's to take, from an elevated administrator only;
// anyone may look. Under Wine everyone is one: a standard user is played.
TEST(Service, OnlyAnElevatedAdministratorChangesItThroughThePipe)
{
    struct Row {
        bool fService, fMayChange;
        uint32_t dwCommand, dwResult, dwCarriedOut;
    } rows[] = {
        {true, false, CONTROL_ONLINE, CONTROL_REFUSED, CONTROL_STATUS},
        {true, false, CONTROL_SETTINGS, CONTROL_REFUSED, CONTROL_STATUS},
        {true, false, CONTROL_STATUS, CONTROL_DONE, CONTROL_STATUS},
        {true, true, CONTROL_SETTINGS, CONTROL_DONE, CONTROL_SETTINGS},
        {false, true, CONTROL_ONLINE, CONTROL_UNKNOWN, 0},
    };
    bool (*const pfnElevatedAdministrator)(HANDLE) = pipeCallerMayChange;
    controlPipeName = "\\\\.\\pipe\\TamarinTime-test";
    CreateLogWindow();
    for (const Row& row : rows) {
        pipeCallerMayChange = row.fMayChange ? [](HANDLE) { return true; } : [](HANDLE) { return false; };
        PipeHost host = {row.fService, CreateEventA(NULL, TRUE, FALSE, NULL), 0, 0};
        HANDLE hThread = CreateThread(NULL, 0, RunPipeHost, &host, 0, &host.dwThread);
        WaitForSingleObject(host.hReady, 5000);
        ControlStatus answer = {};
        EXPECT_TRUE(CallControlPipe(ControlRequestOf(row.dwCommand), &answer, sizeof answer, 5000));
        EXPECT_EQ(answer.dwResult, row.dwResult) << row.dwCommand;
        EXPECT_EQ(host.dwCarriedOut, row.dwCarriedOut) << row.dwCommand;
        if (row.dwResult == CONTROL_REFUSED) {
            ForgetLog();
            AskServiceOnline(false);
            EXPECT_EQ(ReadLog().front(), "設定を変更するには管理者の権限が必要です");
        }
        PostThreadMessageA(host.dwThread, WM_QUIT, 0, 0);
        WaitForSingleObject(hThread, 10000);
        CloseHandle(hThread);
        CloseHandle(host.hReady);
    }
    DestroyLogWindow();
    pipeCallerMayChange = pfnElevatedAdministrator;
}

}  // namespace
