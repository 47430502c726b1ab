// "/install-service" and "/uninstall-service": the service TamarinTime
// registered to run this program as LOCAL SERVICE, started automatically,
// with the machine's settings key and data folder made its own (the
// service and administrators write, users read) and, on a first install,
// the caller's settings copied to the machine's; and removed again,
// stopped first. Administrators only.
#pragma once

#include <windows.h>

// 0, or the Windows error that stopped it (ERROR_ACCESS_DENIED for a
// caller who is not an elevated administrator). Installing over an
// installed service points it at this program again.
DWORD InstallService();
// 0 also when no such service was installed.
DWORD UninstallService();

// Whether the caller may change the machine: an elevated administrator.
// Replaceable, as Wine makes everyone one.
extern bool (*callerIsAdministrator)();
bool CallerIsAdministrator();
