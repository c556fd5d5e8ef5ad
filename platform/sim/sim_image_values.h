#pragma once
// The shorthand the built-in machines' image files write their registry data in.
#include <cstdint>
#include <initializer_list>
#include <string>
#include <utility>
#include <vector>

#include "platform/sim/sim_images.h"

namespace vexlo::sim::image_values {

using platform::Hive;
using platform::RegValue;

inline constexpr Hive HKLM = Hive::LocalMachine;
inline constexpr Hive HKCU = Hive::CurrentUser;

inline RegValue sz(std::string v) { return RegValue::string(std::move(v)); }
inline RegValue dw(uint32_t v) { return RegValue::dword(v); }
inline RegValue qw(uint64_t v) { return RegValue::qword(v); }
inline RegValue msz(std::vector<std::string> v) { return RegValue::multi_string(std::move(v)); }

inline void put(MachineImage& m, Hive hive, const std::string& key,
                std::initializer_list<std::pair<const char*, RegValue>> values) {
    m.set_values(hive, key, values);
}

}  // namespace vexlo::sim::image_values
