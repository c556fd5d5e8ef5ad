// The custom operations of the Network page's advanced stack. None keeps a record of its own:
// Windows ships the offload settings enabled and NetBIOS left to DHCP, so a revert puts back
// exactly that.
#include "app/tweaks/ops_network_extras.h"

#include <algorithm>

#include "app/core/reg.h"
#include "app/tweaks/custom_ops.h"
#include "app/tweaks/kinds/reg_backup.h"
#include "app/tweaks/operations.h"
#include "platform/platform.h"

namespace vexlo {

namespace {

using platform::OffloadGlobal;
using Changes = std::vector<PlannedChange>;

// ---- Global offload settings ----

std::string shown(std::optional<bool> enabled) { return enabled ? (*enabled ? "Enabled" : "Disabled") : "(unknown)"; }

CustomOps offload_global_ops(platform::Network& net, OffloadGlobal setting, const char* name) {
    return {
        [&net, setting] { return net.offload_global(setting) == std::optional<bool>(false); },
        [&net, setting] { net.set_offload_global(setting, false); },
        [&net, setting] { net.set_offload_global(setting, true); },
        [&net, setting, name](bool apply) {
            Changes out;
            const bool next = !apply;
            auto now = net.offload_global(setting);
            if (now != next) out.push_back({std::string("global offload setting ") + name, shown(now), shown(next)});
            return out;
        },
    };
}

// ---- NetBIOS over TCP/IP ----

constexpr const char* kNetbtInterfaces = "HKLM:\\SYSTEM\\CurrentControlSet\\Services\\NetBT\\Parameters\\Interfaces";
constexpr int64_t kNetbiosDisabled = 2;
constexpr int64_t kNetbiosFromDhcp = 0;  // what Windows sets up: the DHCP server decides

std::vector<std::string> netbt_interfaces(Reg& reg) {
    std::vector<std::string> out;
    auto path = parse_reg_path(kNetbtInterfaces);
    for (auto& sub : reg.registry().subkey_names(path->hive, path->subkey))
        out.push_back(std::string(kNetbtInterfaces) + "\\" + sub);
    return out;
}

std::vector<RegWrite> netbios_writes(Reg& reg, bool apply) {
    std::vector<RegWrite> out;
    for (auto& key : netbt_interfaces(reg))
        out.push_back({key, "NetbiosOptions", Json(apply ? kNetbiosDisabled : kNetbiosFromDhcp), platform::RegKind::DWord});
    return out;
}

CustomOps netbios_ops(Reg& reg) {
    return {
        // A PC without interfaces has nothing that could broadcast, but nothing was switched off either.
        [&reg] {
            auto keys = netbt_interfaces(reg);
            return !keys.empty() && std::all_of(keys.begin(), keys.end(), [&](const std::string& key) {
                       Json v = reg.get(key, "NetbiosOptions");
                       return v.is_number_integer() && v.get<int64_t>() == kNetbiosDisabled;
                   });
        },
        [&reg] {
            for (auto& w : netbios_writes(reg, true)) write_reg(reg, w);
        },
        [&reg] {
            for (auto& w : netbios_writes(reg, false)) write_reg(reg, w);
        },
        [&reg](bool apply) { return describe_reg_writes(reg, netbios_writes(reg, apply)); },
    };
}

}  // namespace

void register_network_extras_operations(Operations& ops, const OpsContext& ctx) {
    platform::Network& net = ctx.pf.network();
    ops.customs["rsc_global"] = offload_global_ops(net, OffloadGlobal::ReceiveSegmentCoalescing, "ReceiveSegmentCoalescing");
    ops.customs["pcf_global"] = offload_global_ops(net, OffloadGlobal::PacketCoalescingFilter, "PacketCoalescingFilter");
    ops.customs["netbios"] = netbios_ops(ctx.reg);
}

}  // namespace vexlo
