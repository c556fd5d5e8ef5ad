// Network adapters and plug-and-play devices of the simulated PC.
#include <charconv>

#include "platform/sim/sim_world.h"

namespace vexlo::sim {

namespace fs = std::filesystem;
using platform::PlatformError;

// ---- Network adapters ----

SimNetwork::SimNetwork(const fs::path& dir, Faults& faults)
    : store_(dir / "network.json", world_counter_file(dir), "network adapters"), faults_(faults) {}

std::vector<platform::AdapterProperty> SimNetwork::adapter_properties() {
    return store_.read([](const NetworkState& n) {
        std::vector<platform::AdapterProperty> out;
        for (auto& a : n.adapters)
            for (auto& p : a.properties)
                out.push_back({a.name, p.display_name, p.display_value, p.keyword, p.valid_display_values, p.numeric_max});
        return out;
    });
}

namespace {

// The value as the property stores it: its listed spelling, or a number's plain decimal text.
// Throws PlatformError naming what was wrong.
std::string accepted_value(const AdvancedProperty& p, std::string_view adapter, std::string_view value) {
    auto refuse = [&](const std::string& why) {
        return PlatformError("Cannot set \"" + p.display_name + "\" of " + std::string(adapter) + " to \"" +
                             std::string(value) + "\": " + why);
    };
    if (!p.valid_display_values.empty()) {
        for (auto& valid : p.valid_display_values)
            if (iequals(valid, value)) return valid;
        std::string list;
        for (auto& valid : p.valid_display_values) list += (list.empty() ? "" : ", ") + valid;
        throw refuse("the value must be one of " + list + ".");
    }
    if (p.numeric_max != 0) {
        int64_t n = 0;
        auto [end, ec] = std::from_chars(value.data(), value.data() + value.size(), n);
        if (value.empty() || ec != std::errc() || end != value.data() + value.size())
            throw refuse("the value must be a whole number.");
        if (n < p.numeric_min || n > p.numeric_max)
            throw refuse("the value must be between " + std::to_string(p.numeric_min) + " and " +
                         std::to_string(p.numeric_max) + ".");
        return std::to_string(n);
    }
    return std::string(value);  // a free-text property (a network address)
}

}  // namespace

void SimNetwork::set_adapter_property(std::string_view adapter, std::string_view display_name,
                                      std::string_view display_value) {
    store_.update([&](NetworkState& n) {
        for (auto& a : n.adapters) {
            if (!iequals(a.name, adapter)) continue;
            for (auto& p : a.properties) {
                if (!iequals(p.display_name, display_name)) continue;
                p.display_value = accepted_value(p, a.name, display_value);
                return;
            }
            throw PlatformError("The adapter " + a.name + " has no property \"" + std::string(display_name) + "\".");
        }
        throw PlatformError("There is no network adapter named " + std::string(adapter) + ".");
    });
}

void SimNetwork::set_status(std::string_view adapter, std::string_view status) {
    if (status != "Up" && status != "Disconnected" && status != "Disabled")
        throw PlatformError("An adapter's status is Up, Disconnected or Disabled, not \"" + std::string(status) + "\".");
    store_.update([&](NetworkState& n) {
        for (auto& a : n.adapters)
            if (iequals(a.name, adapter)) {
                a.status = std::string(status);
                return;
            }
        throw PlatformError("There is no network adapter named " + std::string(adapter) + ".");
    });
}

int SimNetwork::restarts(std::string_view adapter) {
    return store_.read([&](const NetworkState& n) {
        for (auto& a : n.adapters)
            if (iequals(a.name, adapter)) return a.restarts;
        return 0;
    });
}

std::vector<platform::AdapterStatus> SimNetwork::physical_adapters() {
    return store_.read([](const NetworkState& n) {
        std::vector<platform::AdapterStatus> out;
        for (auto& a : n.adapters) out.push_back({a.name, a.status});
        return out;
    });
}

void SimNetwork::restart_adapter(std::string_view name) {
    store_.update([&](NetworkState& n) {
        for (auto& a : n.adapters) {
            if (!iequals(a.name, name)) continue;
            if (a.status == "Disabled")
                throw PlatformError("Cannot restart " + a.name + ": the adapter is disabled.");
            ++a.restarts;
            return;
        }
        throw PlatformError("There is no network adapter named " + std::string(name) + ".");
    });
}

// ---- Devices ----

SimDevices::SimDevices(const fs::path& dir) : store_(dir / "devices.json", world_counter_file(dir), "devices") {}

std::vector<std::string> SimDevices::present_instance_ids(std::string_view device_class) {
    return store_.read([&](const DeviceState& d) {
        std::vector<std::string> out;
        for (auto& dev : d.devices)
            if (dev.present && iequals(dev.device_class, device_class)) out.push_back(dev.instance_id);
        return out;
    });
}

std::vector<platform::DevicePower> SimDevices::power_entries() {
    return store_.read([](const DeviceState& d) { return d.power; });
}

void SimDevices::set_power_enable(std::string_view instance_name, bool enable) {
    store_.update([&](DeviceState& d) {
        for (auto& p : d.power) {
            if (iequals(p.instance_name, instance_name)) {
                p.enable = enable;
                return;
            }
        }
        throw PlatformError("There is no power management entry for " + std::string(instance_name) + ": Not found.");
    });
}

}  // namespace vexlo::sim
