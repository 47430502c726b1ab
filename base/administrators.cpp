#include "base/administrators.h"

bool IsElevatedAdministrator(HANDLE hToken)
{
    BYTE abAdministrators[SECURITY_MAX_SID_SIZE];
    DWORD cbSid = sizeof abAdministrators;
    BOOL fMember = FALSE;
    if (!CreateWellKnownSid(WinBuiltinAdministratorsSid, NULL, abAdministrators, &cbSid)) return false;
    return CheckTokenMembership(hToken, abAdministrators, &fMember) && fMember;
}
