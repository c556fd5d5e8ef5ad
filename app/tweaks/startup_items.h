#pragma once
// The Startup page's entries: one startup record for each program this PC starts with Windows,
// read from the Run keys and the Startup folders each time the list is built.
#include <string_view>

#include "app/core/reg.h"
#include "app/tweaks/tweak.h"
#include "platform/files.h"

namespace vexlo {

// Below HKCU or HKLM: Windows keeps one list of blocked entries per source under it.
inline constexpr std::string_view kStartupApproved = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\StartupApproved";

// A hardware vendor's tool (audio, touchpad, graphics, peripherals, Windows Security's tray
// icon): the page suggests keeping it. Letters compare without regard to case.
bool is_vendor_startup_name(std::string_view name);

// Replaces every startup record of the catalog with a fresh scan of this PC. Never throws.
void build_startup_items(Catalog& cat, Reg& reg, platform::FileSystem& files);

}  // namespace vexlo
