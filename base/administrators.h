// Whether a token may change the machine: it holds Administrators, which an
// administrator's filtered token (not elevated) holds for denying only.
#pragma once

#include <windows.h>

// hToken: an impersonation token, or NULL for this thread's effective one.
bool IsElevatedAdministrator(HANDLE hToken);
