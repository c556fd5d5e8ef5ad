#pragma once
// Decisions around the kernel calls of the booster that the tests check on their own: Windows
// answers some of these calls in ways that read as success when they are not.
#include <windows.h>

#include <cstdint>

namespace vexlo::win32 {

// NTSTATUS values the booster reports itself.
constexpr int32_t kStatusNotImplemented = int32_t(0xC0000002);
constexpr int32_t kStatusPrivilegeNotHeld = int32_t(0xC0000061);

// Whether a privilege is really on after AdjustTokenPrivileges: the call returns TRUE also
// when the token does not hold the privilege at all, and only the thread's last error
// (ERROR_NOT_ALL_ASSIGNED) says so. `last_error` must be read right after the call.
constexpr bool privilege_really_enabled(BOOL adjusted, DWORD last_error) {
    return adjusted != FALSE && last_error != ERROR_NOT_ALL_ASSIGNED;
}

// What a purge reports: the memory manager's own status, and never success when the
// privilege it needs was not on (the kernel refuses then; a success can only come from a
// layer that does nothing, and must not count as a cleaned cache).
constexpr int32_t purge_status(bool privilege_enabled, int32_t call_status) {
    if (call_status != 0) return call_status;
    return privilege_enabled ? 0 : kStatusPrivilegeNotHeld;
}

}  // namespace vexlo::win32
