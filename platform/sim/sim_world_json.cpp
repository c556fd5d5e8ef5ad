// How the parts of sim_world.h are written in the machine folder: plain JSON that reads well
// and can be edited by hand (a task's state, a plan's index, a device's power flag).
#include <nlohmann/json.hpp>

#include "platform/sim/sim_json.h"
#include "platform/sim/sim_world.h"

namespace vexlo::sim {

using nlohmann::json;
using platform::PlatformError;
// Written in the order a person reads an entry (a plan's GUID and name before its settings).
using ordered = nlohmann::ordered_json;

namespace {


}  // namespace

// ---- services.json: {"services": {"SysMain": "Running", "Fax": "Stopped"},
//                      "start_types": {"SysMain": 2, "Fax": 3}} ----
// A file without "start_types" (a machine made before the service manager kept its own copy)
// loads with none; the machine then takes them from the registry.

std::string encode_state(const ServiceTable& s) {
    ordered services = ordered::object();
    for (auto& [name, running] : s.running) services[name] = running ? "Running" : "Stopped";
    ordered start_types = ordered::object();
    for (auto& [name, start] : s.start_types) start_types[name] = start;
    return dump_state({{"services", services}, {"start_types", start_types}});
}

void decode_state(std::string_view text, ServiceTable& s) {
    parse_state(text, [&](const json& j) {
        for (auto& [name, state] : j.at("services").items()) {
            std::string v = state.get<std::string>();
            if (v != "Running" && v != "Stopped") throw PlatformError("service " + name + ": state must be Running or Stopped");
            s.running.insert_or_assign(name, v == "Running");
        }
        if (!j.contains("start_types")) return;
        for (auto& [name, start] : j.at("start_types").items()) {
            uint32_t v = start.get<uint32_t>();
            if (v > 4) throw PlatformError("service " + name + ": start type must be 0 to 4");
            if (!s.running.contains(name)) throw PlatformError("service " + name + ": start type of a service not listed");
            s.start_types.insert_or_assign(name, v);
        }
    });
}

// ---- tasks.json: {"tasks": [{"path": "\\Microsoft\\Windows\\Maps\\MapsUpdateTask", "state": "Ready"}]} ----

// A task registered to start a program at sign-in also has "logon": {"program", "arguments",
// "user", "run_level", "logon_type", "time_limit", "allow_start_on_batteries",
// "stop_on_batteries", "priority"}.

std::string encode_state(const TaskTable& t) {
    ordered tasks = ordered::array();
    for (auto& task : t.tasks) {
        std::string path = task.folder + task.name;
        ordered jt = {{"path", path}, {"state", task.state}};
        if (auto it = t.logon.find(path); it != t.logon.end()) {
            const LogonTaskData& d = it->second;
            jt["logon"] = {{"program", d.program},
                           {"arguments", d.arguments},
                           {"user", d.user},
                           {"run_level", d.run_level},
                           {"logon_type", d.logon_type},
                           {"time_limit", d.time_limit},
                           {"allow_start_on_batteries", d.allow_start_on_batteries},
                           {"stop_on_batteries", d.stop_on_batteries},
                           {"priority", d.priority}};
        }
        tasks.push_back(std::move(jt));
    }
    return dump_state({{"tasks", tasks}});
}

void decode_state(std::string_view text, TaskTable& t) {
    parse_state(text, [&](const json& j) {
        for (auto& e : j.at("tasks")) {
            std::string path = e.at("path").get<std::string>();
            size_t cut = path.rfind('\\');
            if (path.empty() || path[0] != '\\' || cut + 1 >= path.size())
                throw PlatformError("task path \"" + path + "\" must start with a backslash and end with a name");
            t.tasks.push_back({path.substr(0, cut + 1), path.substr(cut + 1), e.at("state").get<std::string>()});
            if (!e.contains("logon")) continue;
            const json& l = e.at("logon");
            LogonTaskData d;
            d.program = l.at("program").get<std::string>();
            d.arguments = l.value("arguments", std::string());
            d.user = l.value("user", std::string());
            d.run_level = l.value("run_level", d.run_level);
            d.logon_type = l.value("logon_type", d.logon_type);
            d.time_limit = l.value("time_limit", d.time_limit);
            d.allow_start_on_batteries = l.value("allow_start_on_batteries", d.allow_start_on_batteries);
            d.stop_on_batteries = l.value("stop_on_batteries", d.stop_on_batteries);
            d.priority = l.value("priority", d.priority);
            t.logon.insert_or_assign(path, std::move(d));
        }
    });
    t.index();
    if (t.by_path.size() != t.tasks.size()) throw PlatformError("a task path is listed twice");
}

// ---- power.json ----
// {"active": "<guid>", "plans": [{"guid", "name", "description", "template",
//   "settings": {"<subgroup>": {"<setting>": {"ac": 5, "dc": 5}}}}]}

std::string encode_state(const PowerState& p) {
    ordered plans = ordered::array();
    for (auto& plan : p.plans) {
        ordered settings = ordered::object();
        for (auto& [sub, values] : plan.settings)
            for (auto& [setting, v] : values) settings[sub][setting] = {{"ac", v.ac}, {"dc", v.dc}};
        ordered jp = {{"guid", plan.guid}, {"name", plan.name}, {"description", plan.description}};
        if (plan.is_template) jp["template"] = true;
        jp["settings"] = std::move(settings);
        plans.push_back(std::move(jp));
    }
    return dump_state({{"active", p.active}, {"plans", plans}});
}

void decode_state(std::string_view text, PowerState& p) {
    parse_state(text, [&](const json& j) {
        p.active = to_lower(j.at("active").get<std::string>());
        for (auto& jp : j.at("plans")) {
            PowerPlanData plan;
            plan.guid = to_lower(jp.at("guid").get<std::string>());
            plan.name = jp.at("name").get<std::string>();
            plan.description = jp.value("description", std::string());
            plan.is_template = jp.value("template", false);
            const json settings = jp.value("settings", json::object());
            for (auto& [sub, values] : settings.items())
                for (auto& [setting, v] : values.items())
                    plan.settings[to_lower(sub)][to_lower(setting)] = {v.at("ac").get<int32_t>(), v.at("dc").get<int32_t>()};
            p.plans.push_back(std::move(plan));
        }
    });
}

// ---- network.json ----
// {"adapters": [{"name", "description", "status", "if_index", "guid", "restarts", "properties":
//   [{"display_name", "display_value", "keyword", "valid_display_values": [...], "valid_registry_values": [...]}
//    or {..., "numeric_min": 80, "numeric_max": 4096}]}],
//  "qos_policies": [{"name", "app_path", "dscp"}], "qos_refreshes": [{"policies": [...], "no_nla"}] (only
//  after one), "dns_cache": ["epicgames.com", ...], "dns_flushes": 0,
//  "offload_globals": {"ReceiveSegmentCoalescing": "Enabled", "PacketCoalescingFilter": "Enabled"}}

std::string encode_state(const NetworkState& n) {
    ordered adapters = ordered::array();
    for (auto& a : n.adapters) {
        ordered props = ordered::array();
        for (auto& p : a.properties) {
            ordered jp = {{"display_name", p.display_name}, {"display_value", p.display_value}, {"keyword", p.keyword}};
            if (p.numeric_max != 0) {
                jp["numeric_min"] = p.numeric_min;
                jp["numeric_max"] = p.numeric_max;
            } else {
                jp["valid_display_values"] = p.valid_display_values;
                if (!p.valid_registry_values.empty()) jp["valid_registry_values"] = p.valid_registry_values;
            }
            props.push_back(std::move(jp));
        }
        ordered ja = {{"name", a.name}, {"description", a.description}, {"status", a.status},
                      {"if_index", a.if_index}, {"guid", a.guid}};
        if (a.restarts != 0) ja["restarts"] = a.restarts;
        ja["properties"] = std::move(props);
        adapters.push_back(std::move(ja));
    }
    ordered qos = ordered::array();
    for (auto& q : n.qos_policies) qos.push_back({{"name", q.name}, {"app_path", q.app_path}, {"dscp", q.dscp}});
    auto shown = [](bool on) { return on ? "Enabled" : "Disabled"; };
    ordered globals = {{"ReceiveSegmentCoalescing", shown(n.receive_segment_coalescing)},
                       {"PacketCoalescingFilter", shown(n.packet_coalescing_filter)}};
    ordered out = {{"adapters", adapters}, {"qos_policies", qos}};
    if (!n.qos_refreshes.empty()) {
        ordered refreshes = ordered::array();
        for (auto& r : n.qos_refreshes) refreshes.push_back({{"policies", r.policies}, {"no_nla", r.no_nla}});
        out["qos_refreshes"] = std::move(refreshes);
    }
    out["dns_cache"] = n.dns_cache;
    out["dns_flushes"] = n.dns_flushes;
    out["offload_globals"] = globals;
    return dump_state(out);
}

void decode_state(std::string_view text, NetworkState& n) {
    parse_state(text, [&](const json& j) {
        for (auto& ja : j.at("adapters")) {
            NetworkAdapterData a;
            a.name = ja.at("name").get<std::string>();
            a.description = ja.value("description", std::string());
            a.status = ja.value("status", std::string("Up"));
            if (a.status != "Up" && a.status != "Disconnected" && a.status != "Disabled")
                throw PlatformError("adapter " + a.name + ": status must be Up, Disconnected or Disabled");
            a.restarts = ja.value("restarts", 0);
            a.if_index = ja.value("if_index", uint32_t(0));
            a.guid = ja.value("guid", std::string());
            for (auto& jp : ja.at("properties")) {
                AdvancedProperty p;
                p.display_name = jp.at("display_name").get<std::string>();
                p.display_value = jp.at("display_value").get<std::string>();
                p.keyword = jp.value("keyword", std::string());
                p.valid_display_values = jp.value("valid_display_values", std::vector<std::string>{});
                p.valid_registry_values = jp.value("valid_registry_values", std::vector<std::string>{});
                if (!p.valid_registry_values.empty() && p.valid_registry_values.size() != p.valid_display_values.size())
                    throw PlatformError("adapter " + a.name + ", " + p.display_name +
                                        ": valid_registry_values must pair with valid_display_values");
                p.numeric_min = jp.value("numeric_min", int64_t(0));
                p.numeric_max = jp.value("numeric_max", int64_t(0));
                a.properties.push_back(std::move(p));
            }
            n.adapters.push_back(std::move(a));
        }
        for (auto& q : j.value("qos_policies", json::array()))
            n.qos_policies.push_back({q.at("name").get<std::string>(), q.value("app_path", std::string()), q.value("dscp", 0)});
        for (auto& r : j.value("qos_refreshes", json::array()))
            n.qos_refreshes.push_back({r.value("policies", std::vector<std::string>{}), r.value("no_nla", std::string())});
        n.dns_cache = j.value("dns_cache", std::vector<std::string>{});
        n.dns_flushes = j.value("dns_flushes", 0);
        const json globals = j.value("offload_globals", json::object());
        auto global = [&](const char* name) {
            std::string v = globals.value(name, std::string("Enabled"));
            if (v != "Enabled" && v != "Disabled") throw PlatformError(std::string(name) + ": must be Enabled or Disabled");
            return v == "Enabled";
        };
        n.receive_segment_coalescing = global("ReceiveSegmentCoalescing");
        n.packet_coalescing_filter = global("PacketCoalescingFilter");
    });
}

// ---- devices.json ----
// {"devices": [{"instance_id", "class", "name", "present"}], "power": [{"instance_name", "enable"}]}

std::string encode_state(const DeviceState& d) {
    ordered devices = ordered::array(), power = ordered::array();
    for (auto& dev : d.devices) {
        ordered jd = {{"instance_id", dev.instance_id}, {"class", dev.device_class}, {"name", dev.name}};
        if (!dev.present) jd["present"] = false;
        devices.push_back(std::move(jd));
    }
    for (auto& p : d.power) power.push_back({{"instance_name", p.instance_name}, {"enable", p.enable}});
    return dump_state({{"devices", devices}, {"power", power}});
}

void decode_state(std::string_view text, DeviceState& d) {
    parse_state(text, [&](const json& j) {
        for (auto& jd : j.at("devices"))
            d.devices.push_back({jd.at("instance_id").get<std::string>(), jd.at("class").get<std::string>(),
                                 jd.value("name", std::string()), jd.value("present", true)});
        for (auto& jp : j.at("power"))
            d.power.push_back({jp.at("instance_name").get<std::string>(), jp.at("enable").get<bool>()});
    });
}

// ---- boot.json: {"current": {"identifier": "{current}", ...}} ----

std::string encode_state(const BootEntry& b) { return dump_state({{"current", b.values}}); }

void decode_state(std::string_view text, BootEntry& b) {
    parse_state(text, [&](const json& j) {
        for (auto& [name, value] : j.at("current").items()) b.values[to_lower(name)] = value.get<std::string>();
    });
}

// ---- memory_agent.json: the features by the names Get-MMAgent shows ----

std::string encode_state(const MemoryAgentState& m) {
    return dump_state({{"ApplicationLaunchPrefetching", m.application_launch_prefetching},
                 {"ApplicationPreLaunch", m.application_pre_launch},
                 {"MaxOperationAPIFiles", m.max_operation_api_files},
                 {"MemoryCompression", m.memory_compression},
                 {"OperationAPI", m.operation_api},
                 {"PageCombining", m.page_combining}});
}

void decode_state(std::string_view text, MemoryAgentState& m) {
    parse_state(text, [&](const json& j) {
        m.application_launch_prefetching = j.at("ApplicationLaunchPrefetching").get<bool>();
        m.application_pre_launch = j.at("ApplicationPreLaunch").get<bool>();
        m.max_operation_api_files = j.value("MaxOperationAPIFiles", 512);
        m.memory_compression = j.at("MemoryCompression").get<bool>();
        m.operation_api = j.value("OperationAPI", true);
        m.page_combining = j.at("PageCombining").get<bool>();
    });
}

// ---- defender.json ----

std::string encode_state(const DefenderState& d) {
    return dump_state({{"available", d.available},
                 {"realtime_protection", d.realtime_protection},
                 {"active_antivirus", d.active_antivirus},
                 {"exclusion_paths", d.exclusion_paths},
                 {"antimalware_service", d.antimalware_service},
                 {"scan_cpu_load_factor", d.scan_cpu_load_factor},
                 {"low_cpu_priority", d.low_cpu_priority}});
}

void decode_state(std::string_view text, DefenderState& d) {
    parse_state(text, [&](const json& j) {
        d.available = j.at("available").get<bool>();
        d.realtime_protection = j.at("realtime_protection").get<bool>();
        d.active_antivirus = j.value("active_antivirus", std::string());
        d.exclusion_paths = j.value("exclusion_paths", std::vector<std::string>{});
        d.antimalware_service = j.value("antimalware_service", d.available);
        d.scan_cpu_load_factor = j.value("scan_cpu_load_factor", 50);
        d.low_cpu_priority = j.value("low_cpu_priority", false);
    });
}

// ---- restore.json ----
// {"protection": {"C:\\": true}, "points": [{"description", "type", "time"}]}

std::string encode_state(const RestoreState& r) {
    ordered protection = ordered::object(), points = ordered::array();
    for (auto& [drive, on] : r.protection) protection[drive] = on;
    for (auto& p : r.points) points.push_back({{"description", p.description}, {"type", p.type}, {"time", p.time}});
    return dump_state({{"protection", protection}, {"points", points}});
}

void decode_state(std::string_view text, RestoreState& r) {
    parse_state(text, [&](const json& j) {
        r.protection.clear();
        for (auto& [drive, on] : j.at("protection").items()) {
            auto root = drive_root(drive);
            if (!root) throw PlatformError("protection: \"" + drive + "\" is not a drive root such as C:\\");
            r.protection[*root] = on.get<bool>();
        }
        for (auto& p : j.at("points"))
            r.points.push_back({p.at("description").get<std::string>(), p.value("type", std::string("MODIFY_SETTINGS")),
                                p.value("time", std::string())});
    });
}

// ---- input.json: {"mouse": [6, 10, 1], "mouse_sets": 0, "last_flags": 0} ----

std::string encode_state(const InputState& in) {
    return dump_state({{"mouse", in.mouse}, {"mouse_sets", in.mouse_sets}, {"last_flags", in.last_flags}});
}

void decode_state(std::string_view text, InputState& in) {
    parse_state(text, [&](const json& j) {
        in.mouse = j.at("mouse").get<platform::MouseParameters>();
        in.mouse_sets = j.value("mouse_sets", 0);
        in.last_flags = j.value("last_flags", uint32_t(0));
    });
}

}  // namespace vexlo::sim
