// The custom operations of the Input Latency and Network pages: mouse acceleration, the game's
// QoS policy, TCP acknowledgements on the interfaces that carry an address, and the DNS servers.
#include "app/tweaks/input_network_ops.h"

#include <algorithm>
#include <cctype>
#include <stdexcept>

#include "app/core/backup_store.h"
#include "app/core/text.h"
#include "app/tweaks/custom_ops.h"
#include "app/tweaks/kinds/reg_backup.h"
#include "app/tweaks/operations.h"
#include "platform/net_text.h"
#include "platform/platform.h"

namespace vexlo {

namespace {

using platform::RegKind;
using Changes = std::vector<PlannedChange>;

// ---- Mouse acceleration ----

constexpr const char* kMouseKey = "HKCU:\\Control Panel\\Mouse";

struct MouseSetting {
    const char* speed;
    const char* threshold1;
    const char* threshold2;
    platform::MouseParameters live;  // thresholds, then acceleration, as SystemParametersInfo takes them
};
constexpr MouseSetting kAccelerationOff = {"0", "0", "0", {0, 0, 0}};
constexpr MouseSetting kWindowsDefault = {"1", "6", "10", {6, 10, 1}};

std::vector<RegWrite> mouse_writes(const MouseSetting& s) {
    return {{kMouseKey, "MouseSpeed", Json(s.speed), RegKind::String},
            {kMouseKey, "MouseThreshold1", Json(s.threshold1), RegKind::String},
            {kMouseKey, "MouseThreshold2", Json(s.threshold2), RegKind::String}};
}

void set_mouse(platform::Platform& pf, Reg& reg, const MouseSetting& s) {
    for (auto& w : mouse_writes(s)) write_reg(reg, w);
    try {
        // Windows reads the profile values only at sign-in; this makes the change take at once.
        (void)pf.input().set_mouse_parameters(s.live, platform::kSpiUpdateIniFile | platform::kSpiSendChange);
    } catch (...) {
        // The values are in the profile: at worst the change waits for the next sign-in.
    }
}

CustomOps mouse_ops(platform::Platform& pf, Reg& reg) {
    return {
        // "0" as text, as Windows writes it, or 0 as a number, as some tools do.
        [&reg] { return value_text(reg.get(kMouseKey, "MouseSpeed")) == "0"; },
        [&pf, &reg] { set_mouse(pf, reg, kAccelerationOff); },
        [&pf, &reg] { set_mouse(pf, reg, kWindowsDefault); },
        [&pf, &reg](bool apply) {
            const MouseSetting& next = apply ? kAccelerationOff : kWindowsDefault;
            Changes out = describe_reg_writes(reg, mouse_writes(next));
            auto live = [](const platform::MouseParameters& m) {
                return std::to_string(m[0]) + ", " + std::to_string(m[1]) + ", " + std::to_string(m[2]);
            };
            std::optional<platform::MouseParameters> now;
            try {
                now = pf.input().mouse_parameters();
            } catch (...) {
                // Unknown: listed as such below.
            }
            if (now != next.live)
                out.push_back({"mouse settings in use", now ? live(*now) : "(unknown)", live(next.live)});
            return out;
        },
    };
}

// ---- The game's QoS policy ----

constexpr const char* kQosPolicy = "VexloTweaks Fortnite";
constexpr const char* kGameProcess = "FortniteClient-Win64-Shipping.exe";
constexpr int kExpedited = 46;  // DSCP Expedited Forwarding
// Lets the policy tag traffic on every network, not only on a domain network.
const RegWrite kNoNla = {"HKLM:\\SYSTEM\\CurrentControlSet\\Services\\Tcpip\\QoS", "Do not use NLA", Json("1"),
                         RegKind::String};

CustomOps qos_ops(platform::Platform& pf, Reg& reg) {
    auto exists = [&pf] {
        try {
            return pf.network().qos_policy_exists(kQosPolicy);
        } catch (...) {
            // A policy store that cannot be read holds no policy of ours as far as we can tell.
            return false;
        }
    };
    return {
        exists,
        // The NLA value is read only when Windows applies the policies, so it is in place before
        // the refresh; it follows the policy, so that a policy that cannot be made changes nothing.
        [&pf, &reg] {
            pf.network().create_qos_policy({kQosPolicy, kGameProcess, kExpedited});
            write_reg(reg, kNoNla);
            pf.network().refresh_qos_policies();
        },
        // The NLA value stays: other policies may rely on it, and it does nothing on its own.
        [&pf] {
            try {
                if (pf.network().remove_qos_policy(kQosPolicy)) pf.network().refresh_qos_policies();
            } catch (...) {
                // As Remove-NetQosPolicy with errors ignored: a policy that cannot be removed
                // shows as still on, and the user can try again.
            }
        },
        [&reg, exists](bool apply) {
            Changes out;
            const bool now = exists();
            if (now != apply)
                out.push_back({std::string("QoS policy \"") + kQosPolicy + "\"", now ? "present" : "(none)",
                               apply ? std::string("DSCP ") + std::to_string(kExpedited) + " for " + kGameProcess
                                     : std::string("(removed)")});
            if (apply)
                for (auto& c : describe_reg_writes(reg, {kNoNla})) out.push_back(std::move(c));
            return out;
        },
    };
}

// ---- TCP acknowledgements ----

constexpr const char* kInterfaces = "HKLM:\\SYSTEM\\CurrentControlSet\\Services\\Tcpip\\Parameters\\Interfaces";

bool carries_address(const Json& v) {
    auto usable = [](const Json& e) {
        if (!e.is_string()) return false;
        const std::string& s = e.get_ref<const std::string&>();
        return !trim(s).empty() && trim(s) != "0.0.0.0";
    };
    if (v.is_array()) return std::any_of(v.begin(), v.end(), usable);
    return usable(v);
}

// The interface keys with an address: static (IPAddress, a list) or from DHCP (DhcpIPAddress).
std::vector<std::string> active_tcp_interfaces(Reg& reg) {
    std::vector<std::string> out;
    auto path = parse_reg_path(kInterfaces);
    for (auto& sub : reg.registry().subkey_names(path->hive, path->subkey)) {
        std::string key = std::string(kInterfaces) + "\\" + sub;
        if (carries_address(reg.get(key, "IPAddress")) || carries_address(reg.get(key, "DhcpIPAddress")))
            out.push_back(std::move(key));
    }
    return out;
}

constexpr const char* kAckNames[] = {"TcpAckFrequency", "TCPNoDelay"};

std::vector<RegWrite> nagle_writes(Reg& reg, bool apply) {
    std::vector<RegWrite> out;
    for (auto& key : active_tcp_interfaces(reg))
        for (const char* n : kAckNames) out.push_back({key, n, apply ? std::optional<Json>(1) : std::nullopt, RegKind::DWord});
    return out;
}

CustomOps nagle_ops(Reg& reg) {
    return {
        [&reg] {
            auto keys = active_tcp_interfaces(reg);
            return !keys.empty() && std::all_of(keys.begin(), keys.end(), [&](const std::string& key) {
                       return std::all_of(std::begin(kAckNames), std::end(kAckNames), [&](const char* n) {
                           Json v = reg.get(key, n);
                           return v.is_number_integer() && v.get<int64_t>() == 1;
                       });
                   });
        },
        [&reg] {
            for (auto& w : nagle_writes(reg, true)) write_reg(reg, w);
        },
        [&reg] {
            for (auto& w : nagle_writes(reg, false)) write_reg(reg, w);
        },
        [&reg](bool apply) { return describe_reg_writes(reg, nagle_writes(reg, apply)); },
    };
}

// ---- DNS servers ----

constexpr const char* kDnsRecord = "dns";
const std::vector<std::string> kCloudflare = {"1.1.1.1", "1.0.0.1"};
constexpr const char* kCloudflareText = "1.1.1.1,1.0.0.1";

std::string join(const std::vector<std::string>& parts) {
    std::string out;
    for (auto& p : parts) out += (out.empty() ? "" : ",") + p;
    return out;
}

std::vector<platform::AdapterStatus> adapters_up(platform::Network& net) {
    auto all = net.physical_adapters();
    std::erase_if(all, [](const platform::AdapterStatus& a) { return a.status != "Up"; });
    return all;
}

// An interface GUID as the TCP/IP keys name it: "{xxxxxxxx-xxxx-xxxx-xxxx-xxxxxxxxxxxx}".
bool is_interface_guid(std::string_view s) {
    if (s.size() != 38 || s.front() != '{' || s.back() != '}') return false;
    for (size_t i = 1; i + 1 < s.size(); ++i) {
        const bool dash = i == 9 || i == 14 || i == 19 || i == 24;
        if (dash ? s[i] != '-' : !std::isxdigit(static_cast<unsigned char>(s[i]))) return false;
    }
    return true;
}

// One interface of the record. Windows numbers interfaces anew when an adapter is disabled and
// enabled (which "Restart network adapters" does), so the record names the adapter by its
// interface GUID; records written before that name it by the index it had then.
struct DnsEntry {
    std::string guid;     // "{...}"; empty in an entry of an older record
    uint32_t index = 0;   // that older entry's interface index
    std::string servers;  // the static list the interface had, as its NameServer value read; "" automatic
};

// Why a stored record cannot be one of ours: the revert acts on what it says, so a record put
// there by someone else must not be able to steer a DNS change.
std::optional<std::string> dns_record_problem(const Json& rec) {
    if (!rec.is_array()) return "not a list of interfaces";
    for (auto& e : rec) {
        if (!e.is_object() || !e.contains("I") || !e.contains("V") || !e["V"].is_string() ||
            !(e["I"].is_number_unsigned() || e["I"].is_string()))
            return "an entry is not an interface with its servers";
        if (e["I"].is_string() && !is_interface_guid(e["I"].get_ref<const std::string&>()))
            return "an interface is neither a GUID nor an index";
        if (e["I"].is_number_unsigned() && (e["I"].get<uint64_t>() == 0 || e["I"].get<uint64_t>() > UINT32_MAX))
            return "an interface index is out of range";
        for (auto& s : platform::split_server_list(e["V"].get_ref<const std::string&>()))
            if (!platform::is_ipv4_address(s)) return "\"" + s + "\" is not an IPv4 address";
    }
    return std::nullopt;
}

std::optional<std::vector<DnsEntry>> dns_record(const BackupStore& store) {
    const Json* rec = store.get(kDnsRecord);
    if (!rec || dns_record_problem(*rec)) return std::nullopt;
    std::vector<DnsEntry> out;
    for (auto& e : *rec) {
        if (e["I"].is_string()) out.push_back({e["I"].get<std::string>(), 0, e["V"].get<std::string>()});
        else out.push_back({"", uint32_t(e["I"].get<uint64_t>()), e["V"].get<std::string>()});
    }
    return out;
}

Json dns_entry_json(const platform::AdapterStatus& a, const std::string& servers) {
    // An adapter Windows gave no GUID can only be kept by its index.
    return {{"I", a.guid.empty() ? Json(a.if_index) : Json(a.guid)}, {"V", servers}};
}

void flush_dns(platform::Network& net) {
    try {
        net.flush_dns_cache();
    } catch (...) {
        // Stale answers expire on their own within minutes; the servers are changed either way.
    }
}

// The adapter an entry means, as the adapters are now: by GUID whatever its index is today, or
// an older entry's by its index. Throws when no adapter has that GUID.
platform::AdapterStatus dns_target(const std::vector<platform::AdapterStatus>& all, const DnsEntry& e) {
    for (auto& a : all)
        if (e.guid.empty() ? a.if_index == e.index : iequals(a.guid, e.guid)) return a;
    if (!e.guid.empty()) throw std::runtime_error("the network adapter " + e.guid + " is not on this PC now");
    return {"interface " + std::to_string(e.index), "", e.index, ""};
}

void set_or_reset(platform::Network& net, uint32_t index, const std::string& servers) {
    auto list = platform::split_server_list(servers);
    if (list.empty()) net.reset_dns_servers(index);
    else net.set_dns_servers(index, list);
}

std::string shown(const std::vector<std::string>& servers) { return servers.empty() ? "(automatic)" : join(servers); }

CustomOps dns_ops(platform::Platform& pf, Reg& reg, BackupStore& store) {
    platform::Network& net = pf.network();
    auto own_servers = [&reg](const std::string& guid) {
        return guid.empty() ? std::string() : value_text(reg.get(std::string(kInterfaces) + "\\" + guid, "NameServer"));
    };
    return {
        [&net] {
            auto up = adapters_up(net);
            return !up.empty() && std::all_of(up.begin(), up.end(), [&](const platform::AdapterStatus& a) {
                       return join(net.dns_servers(a.if_index)) == kCloudflareText;
                   });
        },
        [&net, &store, own_servers] {
            auto up = adapters_up(net);
            // The servers each interface had are on disk before the first of them changes.
            Json list = Json::array();
            for (auto& a : up) list.push_back(dns_entry_json(a, own_servers(a.guid)));
            store.put_if_absent(kDnsRecord, std::move(list));
            for (auto& a : up) net.set_dns_servers(a.if_index, kCloudflare);
            flush_dns(net);
        },
        [&net, &store] {
            auto all = net.physical_adapters();
            auto rec = dns_record(store);
            if (!rec) {
                // Nothing recorded: every adapter to automatic, as far as each allows.
                for (auto& a : all) {
                    if (a.if_index == 0) continue;
                    try {
                        net.reset_dns_servers(a.if_index);
                    } catch (...) {
                        // A disabled or vanished adapter has no servers to reset; nothing was
                        // recorded for it either, so nothing is lost.
                    }
                }
                flush_dns(net);
                return;
            }
            // Interface by interface: one that is gone or disabled keeps none of the others from
            // going back. One that did not go back keeps the record, so that a later revert
            // (with the adapter back) still can.
            std::string failed;
            for (auto& e : *rec) {
                std::string who = e.guid.empty() ? "interface " + std::to_string(e.index) : e.guid;
                try {
                    platform::AdapterStatus a = dns_target(all, e);
                    who = a.name;
                    set_or_reset(net, a.if_index, e.servers);
                } catch (const std::exception& ex) {
                    failed += (failed.empty() ? "" : "; ") + who + ": " + ex.what();
                }
            }
            flush_dns(net);
            if (!failed.empty()) throw std::runtime_error("Some DNS servers did not go back (" + failed + ")");
            store.remove(kDnsRecord);
        },
        [&net, &store, own_servers](bool apply) {
            Changes out;
            auto all = net.physical_adapters();
            if (apply) {
                for (auto& a : all)
                    if (a.status == "Up" && join(net.dns_servers(a.if_index)) != kCloudflareText)
                        out.push_back({"DNS servers of " + a.name, shown(net.dns_servers(a.if_index)), kCloudflareText});
                return out;
            }
            std::vector<DnsEntry> plan;
            if (auto rec = dns_record(store)) plan = *rec;
            else
                for (auto& a : all)
                    if (a.if_index != 0) plan.push_back({a.guid, a.if_index, ""});
            for (auto& e : plan) {
                auto next = platform::split_server_list(e.servers);
                platform::AdapterStatus a;
                try {
                    a = dns_target(all, e);
                } catch (const std::exception&) {
                    out.push_back({"DNS servers of " + e.guid, "(adapter not found)", shown(next)});
                    continue;
                }
                // Servers DHCP gave read like static ones: the interface's own list tells them apart.
                if (platform::split_server_list(own_servers(a.guid)) != next)
                    out.push_back({"DNS servers of " + a.name, shown(net.dns_servers(a.if_index)), shown(next)});
            }
            return out;
        },
        [&store] { return store.has(kDnsRecord); },
        [](const Json& rec) { return dns_record_problem(rec); },
    };
}

}  // namespace

void register_input_network_operations(Operations& ops, const OpsContext& ctx) {
    ops.customs["mouse"] = mouse_ops(ctx.pf, ctx.reg);
    ops.customs["qos"] = qos_ops(ctx.pf, ctx.reg);
    ops.customs["nagle"] = nagle_ops(ctx.reg);
    ops.customs["dns"] = dns_ops(ctx.pf, ctx.reg, ctx.store);
}

}  // namespace vexlo
