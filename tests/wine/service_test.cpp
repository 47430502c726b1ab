#include <gtest/gtest.h>
#include <windows.h>

#include "app/service_install.h"
#include "app/service_main.h"

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

}  // namespace
