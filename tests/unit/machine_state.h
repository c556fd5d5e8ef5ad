#pragma once
// Everything the tweaks can change on a PC, read through the seam into one flat map, so that a
// whole machine can be compared before and after, and the differences named.
#include <map>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "app/core/game.h"
#include "app/core/paths.h"
#include "app/core/reg.h"
#include "app/core/text.h"
#include "platform/platform.h"

namespace vexlo::testkit {

using MachineState = std::map<std::string, nlohmann::json>;

inline void walk_registry(platform::Registry& r, platform::Hive h, const std::string& key, MachineState& out) {
    for (auto& n : r.value_names(h, key))
        if (auto v = r.get(h, key, n))
            out[std::string("reg:") + (h == platform::Hive::CurrentUser ? "HKCU\\" : "HKLM\\") + key + "|" + n] = {
                reg_kind_name(v->kind), raw_json(*v)};
    for (auto& sub : r.subkey_names(h, key)) walk_registry(r, h, key.empty() ? sub : key + "\\" + sub, out);
}

// `power_settings` are (subgroup, setting) pairs whose active-plan index is compared.
inline MachineState machine_state(platform::Platform& pf,
                                  const std::vector<std::pair<std::string, std::string>>& power_settings) {
    MachineState s;
    walk_registry(pf.registry(), platform::Hive::CurrentUser, "", s);
    walk_registry(pf.registry(), platform::Hive::LocalMachine, "", s);
    for (auto& name : pf.registry().subkey_names(platform::Hive::LocalMachine, "SYSTEM\\CurrentControlSet\\Services")) {
        s["service:" + name] = pf.services().is_running(name);
        // The service manager's own start type, which a Start value written alone leaves behind.
        auto start = pf.services().start_type(name);
        s["service-start:" + name] = start ? nlohmann::json(*start) : nlohmann::json(nullptr);
    }
    for (auto& t : pf.tasks().list()) s["task:" + t.folder + t.name] = t.state;
    if (auto plan = pf.power().active_plan()) s["power:active"] = plan->guid;
    for (auto& p : pf.power().plans()) s["power:plan:" + p.guid] = p.name;
    for (auto& [sub, set] : power_settings) {
        auto v = pf.power().ac_index(sub, set);
        s["power:index:" + sub + "/" + set] = v ? nlohmann::json(*v) : nlohmann::json(nullptr);
    }
    for (auto& p : pf.network().adapter_properties()) s["nic:" + p.adapter + "|" + p.display_name] = p.display_value;
    for (auto& a : pf.network().physical_adapters()) {
        s["dns:" + a.name] = pf.network().dns_servers(a.if_index);
        s["adapter-guid:" + a.name] = a.guid;  // which TCP/IP interface key is the adapter's
    }
    if (pf.network().qos_policy_exists("VexloTweaks Fortnite")) s["qos:VexloTweaks Fortnite"] = true;
    for (auto [g, name] : {std::pair{platform::OffloadGlobal::ReceiveSegmentCoalescing, "ReceiveSegmentCoalescing"},
                           std::pair{platform::OffloadGlobal::PacketCoalescingFilter, "PacketCoalescingFilter"}}) {
        auto on = pf.network().offload_global(g);
        s[std::string("offload-global:") + name] = on ? nlohmann::json(*on) : nlohmann::json(nullptr);
    }
    if (auto mouse = pf.input().mouse_parameters()) s["mouse:live"] = *mouse;
    for (auto& d : pf.devices().power_entries()) s["devpower:" + d.instance_name] = d.enable;
    for (auto& [k, v] : pf.boot().current_entry()) s["boot:" + k] = v;
    for (auto f : {platform::MemoryFeature::Compression, platform::MemoryFeature::PageCombining,
                   platform::MemoryFeature::ApplicationPreLaunch}) {
        auto on = pf.memory_agent().enabled(f);
        s["memory:" + std::to_string(int(f))] = on ? nlohmann::json(*on) : nlohmann::json(nullptr);
    }
    s["defender:exclusions"] = pf.defender().exclusion_paths();
    s["defender:realtime"] = pf.defender().realtime_protection_enabled();
    auto factor = pf.defender().scan_cpu_load_factor();
    s["defender:scan_cpu_load_factor"] = factor ? nlohmann::json(*factor) : nlohmann::json(nullptr);
    auto low = pf.defender().low_cpu_priority();
    s["defender:low_cpu_priority"] = low ? nlohmann::json(*low) : nlohmann::json(nullptr);
    std::string ini = game_settings_path(pf.files());
    s["file:" + ini] = pf.files().read(ini).value_or("<missing>");
    s["file-readonly:" + ini] = pf.files().is_read_only(ini);
    s["file-exists:C:\\hiberfil.sys"] = pf.files().exists("C:\\hiberfil.sys");
    return s;
}

// The keys whose values differ (or exist on one side only), without the ones listed as intended.
inline std::vector<std::string> differences(const MachineState& a, const MachineState& b,
                                            const std::function<bool(const std::string&)>& intended) {
    std::vector<std::string> out;
    auto note = [&](const std::string& k, const std::string& what) {
        if (!intended(k)) out.push_back(k + ": " + what);
    };
    for (auto& [k, v] : a) {
        auto it = b.find(k);
        if (it == b.end())
            note(k, "gone (was " + v.dump() + ")");
        else if (it->second != v)
            note(k, v.dump().substr(0, 120) + " -> " + it->second.dump().substr(0, 120));
    }
    for (auto& [k, v] : b)
        if (!a.contains(k)) note(k, "new: " + v.dump().substr(0, 120));
    return out;
}

// What a full apply-and-revert is meant to leave behind, by name.
inline bool intended_difference(const std::string& key, const MachineState& before) {
    // The power-plan switch remembers its plan and the one before it, and its copy of the
    // Ultimate Performance plan stays installed for the next apply.
    const std::string settings = "reg:HKCU\\" + parse_reg_path(kSettingsKey)->subkey + "|";
    if (key == settings + "PowerPlan" || key == settings + "PrevPowerPlan") return true;
    if (key.rfind("power:plan:", 0) == 0 && !before.contains(key)) return true;
    // The QoS switch lets policies apply on every network and leaves that on.
    if (key == "reg:HKLM\\SYSTEM\\CurrentControlSet\\Services\\Tcpip\\QoS|Do not use NLA") return !before.contains(key);
    // A task that was running when it was disabled is ready, not running, once enabled again.
    if (key.rfind("task:", 0) == 0) {
        auto was = before.find(key);
        return was != before.end() && was->second == "Running";
    }
    return false;
}

}  // namespace vexlo::testkit
