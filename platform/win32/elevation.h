#pragma once
// Whether this process runs with administrator rights.
#include <windows.h>

namespace vexlo::win32 {

// Membership of the built-in Administrators group as the token uses it: an unelevated UAC
// token carries the group deny-only, so this is true only for an elevated process.
inline bool process_is_elevated() {
    SID_IDENTIFIER_AUTHORITY nt = SECURITY_NT_AUTHORITY;
    PSID admins = nullptr;
    if (!AllocateAndInitializeSid(&nt, 2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS, 0, 0, 0, 0, 0, 0,
                                  &admins))
        return false;
    BOOL member = FALSE;
    if (!CheckTokenMembership(nullptr, admins, &member)) member = FALSE;
    FreeSid(admins);
    return member != FALSE;
}

}  // namespace vexlo::win32
