#pragma once
// The copy of the core that the start-with-Windows task runs, in a folder of the caller's
// choice: the product uses %ProgramFiles%\Vexlo Tweaks (make_self_copy), tests a folder of
// their own.
#include <memory>
#include <string>

#include "platform/self_copy.h"

namespace vexlo::win32 {

// `check_owner` false leaves out the owner check, for a system that keeps no owners (Wine
// reports every file, C:\Windows included, as the user's); the product always checks.
std::unique_ptr<platform::SelfCopy> make_self_copy_in(std::wstring folder, bool check_owner = true);

// Whether a folder's owner is one that only administrators can be (Administrators, SYSTEM,
// TrustedInstaller). False when the owner cannot be read.
bool owned_by_administrators(const std::wstring& folder);

}  // namespace vexlo::win32
