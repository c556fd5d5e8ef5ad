#pragma once
// Kind pwr: the plugged-in (AC) value index of one setting of the active power plan.
#include <cstdint>
#include <string>

#include "app/tweaks/kind.h"

namespace vexlo {

struct PwrData final : KindData {
    PwrData() = default;
    PwrData(std::string subgroup, std::string setting, int32_t on, int32_t fallback)
        : sub(std::move(subgroup)), set(std::move(setting)), v(on), def(fallback) {}
    std::string sub, set;  // subgroup and setting GUIDs
    int32_t v = 0;         // AC value index set on apply
    int32_t def = 0;       // index set on revert without a usable backup
};

const KindHandler& pwr_handler();

}  // namespace vexlo
