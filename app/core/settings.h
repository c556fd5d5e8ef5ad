#pragma once
// The application's own settings under HKCU\Software\VexloTweaks, read afresh on every use.
#include <optional>
#include <string>

#include "app/core/reg.h"

namespace vexlo::settings {

// Re-apply tweaks that a Windows update reset, at start-up. Only the value 1 turns it on.
bool auto_reapply(Reg& reg);
// Check for updates on start; on unless the value is 0.
bool check_updates(Reg& reg);
// The version that ran last, or nothing on the first run.
std::optional<std::string> last_version(Reg& reg);
void set_last_version(Reg& reg, const std::string& version);

}  // namespace vexlo::settings
