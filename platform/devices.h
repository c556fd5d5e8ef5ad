#pragma once
// Plug-and-play devices and their "allow the computer to turn off this device" switch.
#include <string>
#include <string_view>
#include <vector>

namespace vexlo::platform {

struct DevicePower {
    std::string instance_name;  // device instance id followed by "_0"
    bool enable = false;        // true: Windows may turn the device off to save power
};

class Devices {
public:
    virtual ~Devices() = default;
    // Instance ids of the present devices of a class ("USB", "HIDClass", "Bluetooth", "Net").
    virtual std::vector<std::string> present_instance_ids(std::string_view device_class) = 0;
    // Every device power-management entry; empty on failure.
    virtual std::vector<DevicePower> power_entries() = 0;
    // Throws PlatformError.
    virtual void set_power_enable(std::string_view instance_name, bool enable) = 0;
};

}  // namespace vexlo::platform
