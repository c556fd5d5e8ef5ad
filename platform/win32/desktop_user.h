#pragma once
// Whether this process runs as the person signed in at its desktop. A user who answers the UAC
// prompt with another administrator's password gets a process of that other account: its
// HKCU and its profile (where the game keeps its settings) are not the user's own.
#include <optional>

#include "platform/system_info.h"

namespace vexlo::win32 {

struct DesktopUserCheck {
    // How the desktop's user was found: "shell" (the owner of the desktop's shell process) or
    // "session" (the user the session was signed in as); nullptr when it could not be.
    const char* found_by = nullptr;
    // The two accounts when this process's user is not the desktop's.
    std::optional<platform::AccountMismatch> mismatch;
};

DesktopUserCheck check_desktop_user();

// check_desktop_user().mismatch: nullopt when the accounts are the same or the desktop's user
// cannot be found out.
inline std::optional<platform::AccountMismatch> find_desktop_user_mismatch() { return check_desktop_user().mismatch; }

}  // namespace vexlo::win32
