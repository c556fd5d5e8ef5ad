// Network adapters, DNS and QoS, plug-and-play devices and the mouse settings of the simulated PC.
#include <algorithm>
#include <charconv>

#include "platform/net_text.h"
#include "platform/sim/sim_registry.h"
#include "platform/sim/sim_world.h"

namespace vexlo::sim {

namespace fs = std::filesystem;
using platform::PlatformError;

// ---- Network adapters ----

SimNetwork::SimNetwork(const fs::path& dir, SimRegistry& registry, Faults& faults)
    : store_(dir / "network.json", world_counter_file(dir), "network adapters"), registry_(registry), faults_(faults) {}

std::string AdvancedProperty::registry_value_of(std::string_view display) const {
    for (size_t i = 0; i < valid_display_values.size(); ++i)
        if (iequals(valid_display_values[i], display))
            return i < valid_registry_values.size() ? valid_registry_values[i] : std::to_string(i);
    return std::string(display);
}

std::vector<platform::AdapterProperty> SimNetwork::adapter_properties() {
    return store_.read([](const NetworkState& n) {
        std::vector<platform::AdapterProperty> out;
        for (auto& a : n.adapters)
            for (auto& p : a.properties) {
                platform::AdapterProperty q{a.name, p.display_name, p.display_value, p.keyword, p.valid_display_values,
                                            p.numeric_max, p.registry_value_of(p.display_value), {}};
                for (auto& v : p.valid_display_values) q.valid_registry_values.push_back(p.registry_value_of(v));
                out.push_back(std::move(q));
            }
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

namespace {

// An adapter enabled again gets the next free interface index, as in Windows: an index names an
// interface only until the adapter is next disabled.
void renumber(NetworkState& n, NetworkAdapterData& a) {
    uint32_t highest = 0;
    for (auto& other : n.adapters) highest = std::max(highest, other.if_index);
    a.if_index = highest + 1;
}

}  // namespace

void SimNetwork::set_status(std::string_view adapter, std::string_view status) {
    if (status != "Up" && status != "Disconnected" && status != "Disabled")
        throw PlatformError("An adapter's status is Up, Disconnected or Disabled, not \"" + std::string(status) + "\".");
    store_.update([&](NetworkState& n) {
        for (auto& a : n.adapters)
            if (iequals(a.name, adapter)) {
                if (a.status == "Disabled" && status != "Disabled") renumber(n, a);
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
        for (auto& a : n.adapters) out.push_back({a.name, a.status, a.if_index, a.guid});
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
            renumber(n, a);  // disabled and enabled again
            return;
        }
        throw PlatformError("There is no network adapter named " + std::string(name) + ".");
    });
}

// ---- DNS servers and QoS policies ----

namespace {

constexpr const char* kInterfaces = R"(SYSTEM\CurrentControlSet\Services\Tcpip\Parameters\Interfaces\)";

std::string text_of(const std::optional<platform::RegValue>& v) {
    return v && (v->kind == platform::RegKind::String || v->kind == platform::RegKind::ExpandString) ? v->text : "";
}

}  // namespace

std::string SimNetwork::interface_key(uint32_t if_index) {
    return store_.read([&](const NetworkState& n) {
        for (auto& a : n.adapters) {
            if (a.if_index != if_index || if_index == 0) continue;
            if (a.status == "Disabled")
                throw PlatformError("The network adapter " + a.name + " is disabled: it has no interface to change.");
            return kInterfaces + a.guid;
        }
        throw PlatformError("No network interface has the index " + std::to_string(if_index) + ".");
    });
}

std::vector<std::string> SimNetwork::dns_servers(uint32_t if_index) {
    std::string key;
    try {
        key = interface_key(if_index);
    } catch (const PlatformError&) {
        return {};  // no such interface, or a disabled one: nothing to list, as the contract says
    }
    auto mine = platform::split_server_list(text_of(registry_.get(platform::Hive::LocalMachine, key, "NameServer")));
    if (!mine.empty()) return mine;
    return platform::split_server_list(text_of(registry_.get(platform::Hive::LocalMachine, key, "DhcpNameServer")));
}

void SimNetwork::set_dns_servers(uint32_t if_index, const std::vector<std::string>& servers) {
    if (servers.empty()) throw PlatformError("Give at least one DNS server address.");
    std::string joined;
    for (auto& s : servers) {
        if (!platform::is_ipv4_address(s)) throw PlatformError("\"" + s + "\" is not an IPv4 address.");
        joined += (joined.empty() ? "" : ",") + s;
    }
    std::string key = interface_key(if_index);
    if (faults_.dns_change_fails())
        throw PlatformError("Cannot set the DNS servers of interface " + std::to_string(if_index) + ": Access is denied.");
    registry_.set(platform::Hive::LocalMachine, key, "NameServer", platform::RegValue::string(joined));
}

void SimNetwork::reset_dns_servers(uint32_t if_index) {
    std::string key = interface_key(if_index);
    if (faults_.dns_change_fails())
        throw PlatformError("Cannot reset the DNS servers of interface " + std::to_string(if_index) + ": Access is denied.");
    registry_.set(platform::Hive::LocalMachine, key, "NameServer", platform::RegValue::string(""));
}

void SimNetwork::flush_dns_cache() {
    store_.update([](NetworkState& n) {
        n.dns_cache.clear();
        ++n.dns_flushes;
    });
}

bool SimNetwork::qos_policy_exists(std::string_view name) {
    return store_.read([&](const NetworkState& n) {
        for (auto& q : n.qos_policies)
            if (iequals(q.name, name)) return true;
        return false;
    });
}

void SimNetwork::create_qos_policy(const platform::QosPolicy& policy) {
    if (policy.name.empty() || policy.name.find('\\') != std::string::npos)
        throw PlatformError("\"" + policy.name + "\" cannot name a QoS policy.");
    if (policy.dscp < 0 || policy.dscp > 63) throw PlatformError("A DSCP value is between 0 and 63.");
    if (faults_.qos_policy_fails())
        throw PlatformError("Cannot create the QoS policy \"" + policy.name + "\": Access is denied.");
    store_.update([&](NetworkState& n) {
        std::erase_if(n.qos_policies, [&](const QosPolicyData& q) { return iequals(q.name, policy.name); });
        n.qos_policies.push_back({policy.name, policy.app_path, policy.dscp});
    });
}

bool SimNetwork::remove_qos_policy(std::string_view name) {
    if (!qos_policy_exists(name)) return false;
    store_.update([&](NetworkState& n) {
        std::erase_if(n.qos_policies, [&](const QosPolicyData& q) { return iequals(q.name, name); });
    });
    return true;
}

void SimNetwork::refresh_qos_policies() {
    std::string no_nla = text_of(registry_.get(platform::Hive::LocalMachine,
                                               R"(SYSTEM\CurrentControlSet\Services\Tcpip\QoS)", "Do not use NLA"));
    store_.update([&](NetworkState& n) {
        QosRefreshData r{{}, no_nla};
        for (auto& q : n.qos_policies) r.policies.push_back(q.name);
        n.qos_refreshes.push_back(std::move(r));
    });
}

std::optional<bool> SimNetwork::offload_global(platform::OffloadGlobal setting) {
    return store_.read([&](const NetworkState& n) {
        return setting == platform::OffloadGlobal::ReceiveSegmentCoalescing ? n.receive_segment_coalescing
                                                                             : n.packet_coalescing_filter;
    });
}

void SimNetwork::set_offload_global(platform::OffloadGlobal setting, bool enabled) {
    store_.update([&](NetworkState& n) {
        (setting == platform::OffloadGlobal::ReceiveSegmentCoalescing ? n.receive_segment_coalescing
                                                                      : n.packet_coalescing_filter) = enabled;
    });
}

std::vector<std::string> SimNetwork::dns_cache() {
    return store_.read([](const NetworkState& n) { return n.dns_cache; });
}
int SimNetwork::dns_flushes() {
    return store_.read([](const NetworkState& n) { return n.dns_flushes; });
}
std::vector<QosPolicyData> SimNetwork::qos_policies() {
    return store_.read([](const NetworkState& n) { return n.qos_policies; });
}
std::vector<QosRefreshData> SimNetwork::qos_refreshes() {
    return store_.read([](const NetworkState& n) { return n.qos_refreshes; });
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

// ---- Mouse settings ----

SimInput::SimInput(const fs::path& dir, SimRegistry& registry, Faults& faults)
    : store_(dir / "input.json", world_counter_file(dir), "input settings"), registry_(registry), faults_(faults) {}

std::optional<platform::MouseParameters> SimInput::mouse_parameters() {
    return store_.read([](const InputState& in) { return in.mouse; });
}

bool SimInput::set_mouse_parameters(const platform::MouseParameters& values, uint32_t flags) {
    if (faults_.mouse_set_fails()) return false;
    store_.update([&](InputState& in) {
        in.mouse = values;
        ++in.mouse_sets;
        in.last_flags = flags;
    });
    if (flags & platform::kSpiUpdateIniFile) {
        const char* key = R"(Control Panel\Mouse)";
        const char* names[] = {"MouseThreshold1", "MouseThreshold2", "MouseSpeed"};
        for (int i = 0; i < 3; ++i)
            registry_.set(platform::Hive::CurrentUser, key, names[i], platform::RegValue::string(std::to_string(values[i])));
    }
    return true;
}

InputState SimInput::state() {
    return store_.read([](const InputState& in) { return in; });
}

}  // namespace vexlo::sim
