#include "app/core/device_power.h"

#include <cctype>

namespace vexlo {

namespace {
std::string upper(std::string s) {
    for (char& c : s) c = char(std::toupper(static_cast<unsigned char>(c)));
    return s;
}
}  // namespace

std::string strip_instance_suffix(const std::string& name) {
    size_t i = name.size();
    while (i > 0 && std::isdigit(static_cast<unsigned char>(name[i - 1]))) --i;
    if (i < name.size() && i > 0 && name[i - 1] == '_') return name.substr(0, i - 1);
    return name;
}

void DevicePowerCache::read_classes() {
    class_ids_.clear();
    for (std::string_view cls : kDeviceClasses) {
        auto& set = class_ids_[std::string(cls)];
        try {
            for (auto& id : devices_.present_instance_ids(cls)) set.insert(upper(id));
        } catch (...) {
            // A class that cannot be listed counts as having no devices: its switches are not
            // offered, and the start goes on.
            set.clear();
        }
    }
}

void DevicePowerCache::refresh() {
    try {
        entries_ = devices_.power_entries();
    } catch (...) {
        // Unreadable power switches read as none: the device tweaks show nothing to change
        // rather than stop the start or the apply that refreshes them.
        entries_.clear();
    }
}

std::vector<platform::DevicePower> DevicePowerCache::objects(const std::vector<std::string>& classes) const {
    std::vector<platform::DevicePower> out;
    for (const auto& e : entries_) {
        std::string id = upper(strip_instance_suffix(e.instance_name));
        for (auto& cls : classes) {
            auto it = class_ids_.find(cls);
            if (it != class_ids_.end() && it->second.contains(id)) {
                out.push_back(e);
                break;
            }
        }
    }
    return out;
}

}  // namespace vexlo
