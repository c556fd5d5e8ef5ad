#pragma once
// The Windows-wide offload settings that Get-/Set-NetOffloadGlobalSetting show and change.
#include <optional>

#include "platform/network.h"

namespace vexlo::win32 {

// Whether the setting is enabled; nullopt when WMI cannot tell.
std::optional<bool> read_offload_global(platform::OffloadGlobal setting);
// Enables or disables it. Throws PlatformError.
void write_offload_global(platform::OffloadGlobal setting, bool enabled);

}  // namespace vexlo::win32
