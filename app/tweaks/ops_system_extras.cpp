// The custom operations of the System page's memory, disk and kernel group. The service host
// split threshold is a registry value whose wanted value is this PC's memory, so it cannot be a
// fixed catalog write; the rest go through the memory manager agent and Defender's preferences.
#include "app/tweaks/ops_system_extras.h"

#include <string>

#include "app/core/backup_store.h"
#include "app/core/system_facts.h"
#include "app/core/text.h"
#include "app/tweaks/custom_ops.h"
#include "app/tweaks/kinds/reg_backup.h"
#include "app/tweaks/operations.h"
#include "platform/platform.h"

namespace vexlo {

namespace {

using platform::RegKind;
using Changes = std::vector<PlannedChange>;

std::string shown(std::optional<bool> on) { return on ? (*on ? "on" : "off") : "(unknown)"; }
std::string shown(std::optional<int> n) { return n ? std::to_string(*n) : "(unknown)"; }

// ---- Service host grouping ----

constexpr const char* kSvchostRecord = "svchost";
// What Windows sets out of the box: services share hosts only below 3.5 GB of memory.
constexpr uint32_t kSvchostDefaultKB = 3670016;

CustomOps svchost_ops(Reg& reg, BackupStore& store, const SystemFacts& facts) {
    // Services are split into their own hosts only above the threshold, so the memory's own
    // size groups them on this PC.
    auto entry = [&facts] {
        return RegE{"HKLM:\\SYSTEM\\CurrentControlSet\\Control", "SvcHostSplitThresholdInKB", Json(facts.ram_kb),
                    RegKind::DWord, Json(kSvchostDefaultKB)};
    };
    return {
        [&reg, entry] {
            RegE e = entry();
            return value_text(reg.get(e.p, e.n)) == value_text(e.v);
        },
        [&reg, &store, entry] {
            RegE e = entry();
            backup_reg(store, kSvchostRecord, {e}, reg);
            reg.set(e.p, e.n, e.v, e.t);
        },
        [&reg, &store, entry] { restore_reg(store, kSvchostRecord, {entry()}, reg); },
        [&reg, &store, entry](bool apply) {
            RegE e = entry();
            return describe_reg_writes(reg, apply ? apply_writes({e}) : restore_writes(store, kSvchostRecord, {e}));
        },
        [&store] { return store.has(kSvchostRecord); },
        [](const Json& rec) { return reg_record_problem(rec); },
    };
}

// ---- Memory manager agent ----

// A feature that the tweak turns off, and its revert back on.
CustomOps memory_feature_off(platform::MemoryAgent& agent, platform::MemoryFeature feature, std::string label) {
    return {
        [&agent, feature] { return agent.enabled(feature) == std::optional<bool>(false); },
        [&agent, feature] { agent.set_enabled(feature, false); },
        [&agent, feature] { agent.set_enabled(feature, true); },
        [&agent, feature, label](bool apply) {
            Changes out;
            auto now = agent.enabled(feature);
            if (now != std::optional<bool>(!apply)) out.push_back({label, shown(now), apply ? "off" : "on"});
            return out;
        },
    };
}

// ---- Defender's scan limits ----

constexpr const char* kDefCpuRecord = "def_cpu";
constexpr int kScanLoadCap = 20;
constexpr int kScanLoadDefault = 50;  // Windows' own
constexpr const char* kScanLoadLabel = "Microsoft Defender scan CPU load factor (%)";

// The factor a revert sets: the one kept at apply when it was above the cap, else Windows'
// default (a factor already at or under the cap was never ours to keep).
int scan_load_to_restore(const BackupStore& store) {
    auto kept = store.peek_custom(kDefCpuRecord);
    if (kept.has && kept.v.is_number_integer() && kept.v.get<int64_t>() > kScanLoadCap) return int(kept.v.get<int64_t>());
    return kScanLoadDefault;
}

// The revert sets what the record says, so only a factor Defender could have had is accepted.
std::optional<std::string> def_cpu_record_problem(const Json& rec) {
    if (!rec.is_object() || !rec.contains("V")) return "not a kept value";
    const Json& v = rec["V"];
    if (!v.is_number_integer()) return "the kept value is not a whole number";
    if (v.get<int64_t>() < 0 || v.get<int64_t>() > 100) return "the kept value is not a percentage";
    return std::nullopt;
}

CustomOps def_cpu_ops(platform::Defender& defender, BackupStore& store) {
    return {
        [&defender] {
            auto now = defender.scan_cpu_load_factor();
            return now && *now <= kScanLoadCap;
        },
        [&defender, &store] {
            auto now = defender.scan_cpu_load_factor();
            if (!now) throw std::runtime_error("Microsoft Defender's scan CPU load factor cannot be read.");
            store.save_custom(kDefCpuRecord, *now);
            defender.set_scan_cpu_load_factor(kScanLoadCap);
        },
        [&defender, &store] {
            defender.set_scan_cpu_load_factor(scan_load_to_restore(store));
            store.remove(kDefCpuRecord);
        },
        [&defender, &store](bool apply) {
            Changes out;
            auto now = defender.scan_cpu_load_factor();
            int next = apply ? kScanLoadCap : scan_load_to_restore(store);
            if (now != std::optional<int>(next)) out.push_back({kScanLoadLabel, shown(now), std::to_string(next)});
            return out;
        },
        [&store] { return store.has(kDefCpuRecord); },
        [](const Json& rec) { return def_cpu_record_problem(rec); },
    };
}

CustomOps def_lowprio_ops(platform::Defender& defender) {
    return {
        [&defender] { return defender.low_cpu_priority() == std::optional<bool>(true); },
        [&defender] { defender.set_low_cpu_priority(true); },
        [&defender] { defender.set_low_cpu_priority(false); },
        [&defender](bool apply) {
            Changes out;
            auto now = defender.low_cpu_priority();
            if (now != std::optional<bool>(apply))
                out.push_back({"Microsoft Defender low-priority scans", shown(now), apply ? "on" : "off"});
            return out;
        },
    };
}

}  // namespace

void register_system_extras_operations(Operations& ops, const OpsContext& ctx) {
    platform::Platform& pf = ctx.pf;
    const SystemFacts& facts = ctx.facts;

    ops.predicates["more_than_4gb"] = [&facts] { return facts.ram_kb > 4000000; };
    // Defender's preferences answer even while another antivirus is in charge; its antimalware
    // service runs only while it is the one.
    ops.predicates["defender_active"] = [&pf] {
        return pf.defender().available() && pf.defender().antimalware_service_enabled();
    };

    ops.customs["svchost"] = svchost_ops(ctx.reg, ctx.store, facts);
    ops.customs["pagecombine"] =
        memory_feature_off(pf.memory_agent(), platform::MemoryFeature::PageCombining, "page combining (memory manager agent)");
    ops.customs["prelaunch"] = memory_feature_off(pf.memory_agent(), platform::MemoryFeature::ApplicationPreLaunch,
                                                  "application prelaunch (memory manager agent)");
    ops.customs["def_cpu"] = def_cpu_ops(pf.defender(), ctx.store);
    ops.customs["def_lowprio"] = def_lowprio_ops(pf.defender());
}

}  // namespace vexlo
