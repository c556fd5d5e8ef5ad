#pragma once
// Device classes and the devices' power-saving switches, read once and refreshed after changes.
#include <map>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "platform/devices.h"

namespace vexlo {

// The device classes whose power switches the product reads, and that a tweak may name.
inline constexpr std::string_view kDeviceClasses[] = {"USB", "HIDClass", "Bluetooth", "Net"};

class DevicePowerCache {
public:
    explicit DevicePowerCache(platform::Devices& devices) : devices_(devices) {}
    // The present devices of each of kDeviceClasses (once at start).
    void read_classes();
    void refresh();
    // The power entries of present devices of the given classes, in entry order.
    std::vector<platform::DevicePower> objects(const std::vector<std::string>& classes) const;

private:
    platform::Devices& devices_;
    std::map<std::string, std::set<std::string>> class_ids_;  // class -> upper-case instance ids
    std::vector<platform::DevicePower> entries_;
};

// "USB\\VID_1&PID_2\\5&ABC_0" -> "USB\\VID_1&PID_2\\5&ABC": a trailing underscore and digits go.
std::string strip_instance_suffix(const std::string& instance_name);

}  // namespace vexlo
