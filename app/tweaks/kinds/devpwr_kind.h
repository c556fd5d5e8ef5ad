#pragma once
// Kind devpwr: the "allow the computer to turn off this device to save power" switch of every
// present device of some device classes.
#include <string>
#include <string_view>
#include <vector>

#include "app/core/device_power.h"
#include "app/tweaks/kind.h"

namespace vexlo {

struct DevPwrData final : KindData {
    DevPwrData() = default;
    explicit DevPwrData(std::vector<std::string> c) : classes(std::move(c)) {}
    std::vector<std::string> classes;
};

const KindHandler& devpwr_handler();

}  // namespace vexlo
