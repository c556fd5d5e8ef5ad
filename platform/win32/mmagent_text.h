#pragma once
// The PowerShell commands for the memory manager agent (Get-MMAgent, Enable-MMAgent,
// Disable-MMAgent) and the reading of what they print.
#include <optional>
#include <string>
#include <string_view>

#include "platform/memory_agent.h"

namespace vexlo::win32 {

// Printed by the change command once the cmdlet has finished without an error.
inline constexpr std::string_view kMMAgentDone = "vexlo-mmagent-done";

// The command that prints the feature's state as True or False.
std::wstring mmagent_read_command(platform::MemoryFeature feature);
// The command that turns the feature on or off, stopping at the first error, then prints
// kMMAgentDone.
std::wstring mmagent_change_command(platform::MemoryFeature feature, bool on);
// True or False as PowerShell prints a Boolean; nullopt for anything else (an error, nothing).
std::optional<bool> parse_mmagent_flag(std::string_view output);
// Whether the change command's output says it finished.
bool mmagent_change_done(std::string_view output);

}  // namespace vexlo::win32
