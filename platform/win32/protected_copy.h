#pragma once
// The copy of the core that the start-with-Windows task runs, in a folder of the caller's
// choice: the product uses %ProgramFiles%\Vexlo Tweaks (make_self_copy), tests a folder of
// their own.
#include <memory>
#include <optional>
#include <string>

#include "platform/self_copy.h"

namespace vexlo::win32 {

// `check_owner` false leaves out the owner check, for a system that keeps no owners (Wine
// reports every file, C:\Windows included, as the user's). `check_access` false leaves out the
// check that no one but the administrators may change the folder or the one holding it, for
// tests working in the user's own temporary folder. The product always checks both.
std::unique_ptr<platform::SelfCopy> make_self_copy_in(std::wstring folder, bool check_owner = true,
                                                      bool check_access = true);

// Whether a security descriptor (in SDDL) lets anyone but the administrators put another
// program in place of the copy, as install() decides for the folder; nullopt when the text is
// not a descriptor.
std::optional<bool> lets_others_change(const std::wstring& sddl);

// Whether a folder's owner is one that only administrators can be (Administrators, SYSTEM,
// TrustedInstaller). False when the owner cannot be read.
bool owned_by_administrators(const std::wstring& folder);

}  // namespace vexlo::win32
