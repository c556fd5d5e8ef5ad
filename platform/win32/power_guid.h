#pragma once
// GUID text for power plans and settings, and powercfg's aliases for them (the Power API takes
// GUIDs only).
#include <windows.h>

#include <optional>
#include <string>
#include <string_view>

namespace vexlo::win32 {

// "8c5e7fda-e8bf-4a96-9a85-a6e23a8c635c", with or without braces, in any case.
std::optional<GUID> parse_guid(std::string_view text);
// Lower-case 8-4-4-4-12, no braces.
std::string guid_text(const GUID& guid);
// A GUID as text, or one of powercfg's aliases ("SUB_PROCESSOR", "PROCTHROTTLEMAX"), without
// regard to case.
std::optional<GUID> power_guid(std::string_view guid_or_alias);

}  // namespace vexlo::win32
