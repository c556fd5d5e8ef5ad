#pragma once
// The game booster's options under HKCU\Software\VexloTweaks\Booster, read afresh on every
// use: the booster, the tray and the exit path all read them. A value that is missing, or of
// another type than the option's (written by hand or by another program), reads as the
// option's default.
#include <cstdint>
#include <string>
#include <string_view>

#include "app/core/reg.h"

namespace vexlo::booster_options {

inline constexpr std::string_view kKey = "HKCU:\\Software\\VexloTweaks\\Booster";

// A REG_DWORD option.
uint32_t get(Reg& reg, std::string_view name, uint32_t fallback);
// A REG_SZ option.
std::string get_text(Reg& reg, std::string_view name, std::string_view fallback);
// Writes a REG_DWORD option. Throws on failure.
void set(Reg& reg, std::string_view name, uint32_t value);
// Writes a REG_SZ option. Throws on failure.
void set_text(Reg& reg, std::string_view name, std::string_view value);

// The master switch, off unless set.
inline bool on(Reg& reg) { return get(reg, "On", 0) != 0; }
// Closing the window hides it to the tray while the booster is on; allowed unless cleared.
inline bool tray(Reg& reg) { return get(reg, "Tray", 1) != 0; }

}  // namespace vexlo::booster_options
