#include "app/tweaks/custom_ops.h"

#include <algorithm>

#include "app/core/backup_store.h"
#include "app/core/dx_settings.h"
#include "app/core/game.h"
#include "app/core/ini_file.h"
#include "app/core/paths.h"
#include "app/core/system_facts.h"
#include "app/core/text.h"
#include "app/tweaks/input_network_ops.h"
#include "app/tweaks/ops_network_extras.h"
#include "app/tweaks/kinds/reg_backup.h"
#include "app/tweaks/operations.h"
#include "app/tweaks/ops_system_extras.h"
#include "app/tweaks/ops_privacy.h"
#include "platform/platform.h"

namespace vexlo {

namespace {

using platform::RegKind;
using Changes = std::vector<PlannedChange>;

constexpr const char* kUltimateTemplate = "e9a42b02-d5df-448d-aa00-03f14749eb61";
constexpr const char* kHighPerformance = "8c5e7fda-e8bf-4a96-9a85-a6e23a8c635c";
constexpr const char* kBalanced = "381b4222-f694-41f0-9685-ff5bb260df2e";
constexpr const char* kOurPlanName = "Vexlo Tweaks Ultimate";
constexpr const char* kFsoToken = "DISABLEDXMAXIMIZEDWINDOWEDMODE";
constexpr const char* kGpuRecord = "fngpu";

std::string setting_text(Reg& reg, const char* name) { return value_text(reg.get(kSettingsKey, name)); }

const std::string& game_exe(const SystemFacts& facts) {
    if (!facts.fortnite_exe) throw std::runtime_error("Fortnite was not found on this PC.");
    return *facts.fortnite_exe;
}

std::string game_root(const SystemFacts& facts) {
    auto root = fortnite_root(game_exe(facts));
    if (!root) throw std::runtime_error("Fortnite's install folder was not found.");
    return *root;
}

// One on/off switch of Windows as a preview line, when it would change.
void add_switch(Changes& out, std::string where, std::optional<bool> now, bool next) {
    if (now == next) return;
    out.push_back({std::move(where), now ? (*now ? "on" : "off") : "(unknown)", next ? "on" : "off"});
}

void add_yes_no(Changes& out, std::string where, bool now, bool next) {
    if (now != next) out.push_back({std::move(where), now ? "yes" : "no", next ? "yes" : "no"});
}

void add_reg(Changes& out, Reg& reg, const RegWrite& w) {
    for (auto& c : describe_reg_writes(reg, {w})) out.push_back(std::move(c));
}

// ---- The Ultimate Performance plan, copied once from Windows' template and reused afterwards ----
//
// Before anything changes, the record "power" keeps the plan the user was on and the plans that
// existed then; it goes only once the user's plan is active again. So a change cut short at any
// point is undone by the revert, and a copy made by an apply that never finished is found again
// (a plan that was not there before, by the template's name or ours) instead of copied anew.

constexpr const char* kPowerRecord = "power";
constexpr const char* kTemplateName = "Ultimate Performance";

struct PowerRecord {
    std::string prev;                 // the user's plan
    std::vector<std::string> before;  // the plans that existed when it was recorded
};

std::optional<PowerRecord> power_record(const BackupStore& store) {
    const Json* rec = store.get(kPowerRecord);
    if (!rec || !rec->is_object()) return std::nullopt;
    PowerRecord out;
    if (auto p = rec->find("Prev"); p != rec->end() && p->is_string()) out.prev = p->get<std::string>();
    if (auto b = rec->find("Plans"); b != rec->end() && b->is_array())
        for (auto& g : *b)
            if (g.is_string()) out.before.push_back(g.get<std::string>());
    return out;
}

bool has_plan(const std::vector<platform::PowerPlan>& plans, std::string_view guid) {
    return !guid.empty() && std::any_of(plans.begin(), plans.end(), [&](auto& p) { return iequals(p.guid, guid); });
}

std::optional<std::string> plan_name(const std::vector<platform::PowerPlan>& plans, std::string_view guid) {
    for (auto& p : plans)
        if (iequals(p.guid, guid)) return p.name;
    return std::nullopt;
}

// Our copy: the plan PowerPlan names when it still exists, else one an unfinished apply made
// (absent from the record's list, named like the template or like ours). Empty when none.
std::string our_plan(const std::vector<platform::PowerPlan>& plans, const std::string& ours,
                     const std::optional<PowerRecord>& rec) {
    for (auto& p : plans)
        if (!ours.empty() && iequals(p.guid, ours)) return p.guid;
    if (!rec || rec->before.empty()) return {};
    for (auto& p : plans) {
        bool existed = std::any_of(rec->before.begin(), rec->before.end(), [&](auto& g) { return iequals(g, p.guid); });
        if (existed) continue;
        if (iequals(p.name, kOurPlanName) || iequals(p.name, kTemplateName)) return p.guid;
    }
    return {};
}

// The user's plan as a revert finds it: the recorded one, else the one noted before, else
// Balanced; never ours, and only a plan Windows still has.
std::string plan_to_restore(const std::vector<platform::PowerPlan>& plans, Reg& reg, const std::string& ours,
                            const std::optional<PowerRecord>& rec) {
    auto usable = [&](const std::string& g) { return has_plan(plans, g) && !iequals(g, ours); };
    if (rec && usable(rec->prev)) return rec->prev;
    std::string noted = setting_text(reg, "PrevPowerPlan");
    if (usable(noted)) return noted;
    return kBalanced;
}

// The plan the apply records as the user's: the active one, unless it is already ours.
std::string users_plan_now(const std::optional<platform::PowerPlan>& active, const std::vector<platform::PowerPlan>& plans,
                           Reg& reg, const std::string& ours, const std::optional<PowerRecord>& rec) {
    if (active && !iequals(active->guid, ours) && active->guid != our_plan(plans, ours, rec)) return active->guid;
    return plan_to_restore(plans, reg, ours, rec);
}

Changes describe_power_plan(platform::Power& power, Reg& reg, const BackupStore& store, bool apply) {
    Changes out;
    const std::string ours = setting_text(reg, "PowerPlan");
    const auto active = power.active_plan();
    const auto plans = power.plans();
    const auto rec = power_record(store);
    std::string target, target_name;
    if (apply) {
        std::string prev = rec ? rec->prev : users_plan_now(active, plans, reg, ours, rec);
        add_reg(out, reg, {kSettingsKey, "PrevPowerPlan", prev, RegKind::String});
        target = our_plan(plans, ours, rec);
        if (target.empty()) {
            // The copy's GUID is Windows' to choose when it makes it.
            out.push_back({std::string("power plan ") + kOurPlanName, "(none)", "copy of Ultimate Performance"});
            auto now = reg.get_raw(kSettingsKey, "PowerPlan");
            out.push_back({std::string(kSettingsKey) + "\\PowerPlan", now ? reg_value_shown(*now) : "(not set)",
                           "the copy's GUID (String)"});
            target_name = kOurPlanName;
        } else {
            add_reg(out, reg, {kSettingsKey, "PowerPlan", target, RegKind::String});
            auto name = plan_name(plans, target).value_or(target);
            if (!iequals(name, kOurPlanName)) out.push_back({"power plan " + target + " name", name, kOurPlanName});
            target_name = kOurPlanName;
        }
    } else {
        target = plan_to_restore(plans, reg, ours, rec);
        target_name = plan_name(plans, target).value_or(target);
    }
    // A copy still to be made has no GUID yet, and is never the active plan.
    if (target.empty() ? apply : !(active && iequals(active->guid, target)))
        out.push_back({"active power plan", active ? active->name : "(none)", target_name});
    return out;
}

CustomOps power_plan_ops(platform::Power& power, Reg& reg, BackupStore& store) {
    return {
        [&power, &reg] {
            std::string ours = setting_text(reg, "PowerPlan");
            auto active = power.active_plan();
            return !ours.empty() && active && iequals(active->guid, ours);
        },
        [&power, &reg, &store] {
            const std::string ours = setting_text(reg, "PowerPlan");
            const auto active = power.active_plan();
            auto plans = power.plans();
            auto rec = power_record(store);
            if (!rec) {
                Json before = Json::array();
                for (auto& p : plans) before.push_back(p.guid);
                store.put_if_absent(kPowerRecord,
                                    Json{{"Prev", users_plan_now(active, plans, reg, ours, rec)}, {"Plans", before}});
                rec = power_record(store);
            }
            if (setting_text(reg, "PrevPowerPlan") != rec->prev)
                reg.set(kSettingsKey, "PrevPowerPlan", rec->prev, RegKind::String);
            std::string target = our_plan(plans, ours, rec);
            if (target.empty()) {
                if (auto copy = power.duplicate_plan(kUltimateTemplate)) target = *copy;
            }
            if (target.empty()) {
                // Without a copy, Windows' own High performance plan; a later apply tries the
                // copy again, so it is named ours only once it is active.
                if (!power.set_active(kHighPerformance))
                    throw std::runtime_error("Windows did not switch to the power plan.");
                reg.set(kSettingsKey, "PowerPlan", kHighPerformance, RegKind::String);
                return;
            }
            // The copy is named before it is renamed or switched to, so that no later step can
            // lose it.
            if (!iequals(ours, target)) reg.set(kSettingsKey, "PowerPlan", target, RegKind::String);
            plans = power.plans();
            if (!iequals(target, kHighPerformance) && !iequals(plan_name(plans, target).value_or(""), kOurPlanName))
                power.rename_plan(target, kOurPlanName, "Created by Vexlo Tweaks");
            if (!power.set_active(target)) throw std::runtime_error("Windows did not switch to the power plan.");
        },
        [&power, &reg, &store] {
            const std::string ours = setting_text(reg, "PowerPlan");
            std::string target = plan_to_restore(power.plans(), reg, ours, power_record(store));
            auto active = power.active_plan();
            if (!(active && iequals(active->guid, target)) && !power.set_active(target))
                throw std::runtime_error("Windows did not switch back to your power plan.");
            store.remove(kPowerRecord);
        },
        [&power, &reg, &store](bool apply) { return describe_power_plan(power, reg, store, apply); },
        [&store] { return store.has(kPowerRecord); },
    };
}

// ---- Registry values the game tweaks edit in place ----

// The DirectX global settings with one token set (or with none removed).
RegWrite dx_token_write(Reg& reg, std::string_view token, std::optional<std::string_view> value) {
    std::string next = dx_with_token(value_text(reg.get(kDxKey, kDxValue)), token, value);
    return {kDxKey, kDxValue, next.empty() ? std::nullopt : std::optional<Json>(next), RegKind::String};
}

// The game's compatibility layers with one token on or off.
RegWrite layer_token_write(Reg& reg, const std::string& exe, std::string_view token, bool on) {
    std::string next = layers_with_token(get_layer_tokens(reg, exe), token, on);
    return {kLayersKey, exe, next.empty() ? std::nullopt : std::optional<Json>(next), RegKind::String};
}

// The token a revert writes back: the recorded one (none removes it), or "0" when there is no
// record or the record is "1" itself, so that the feature ends up off.
std::optional<std::string> restored_token(const BackupStore::Popped& rec) {
    if (rec.has && !(rec.v.is_string() && rec.v.get<std::string>() == "1")) {
        if (rec.v.is_null()) return std::nullopt;
        return value_text(rec.v);
    }
    return "0";
}

std::optional<std::string_view> view(const std::optional<std::string>& s) {
    return s ? std::optional<std::string_view>(*s) : std::nullopt;
}

// A token of the per-user DirectX settings, with the prior value kept under the tweak's id
// until the revert has written it back.
CustomOps dx_token_ops(Reg& reg, BackupStore& store, std::string id, std::string token) {
    return {
        [&reg, token] { return get_dx_token(reg, token) == std::optional<std::string>("1"); },
        [&reg, &store, id, token] {
            auto cur = get_dx_token(reg, token);
            store.save_custom(id, cur ? Json(*cur) : Json(nullptr));
            write_reg(reg, dx_token_write(reg, token, std::string_view("1")));
        },
        [&reg, &store, id, token] {
            auto value = restored_token(store.peek_custom(id));
            write_reg(reg, dx_token_write(reg, token, view(value)));
            store.remove(id);
        },
        [&reg, &store, id, token](bool apply) {
            auto value = apply ? std::optional<std::string>("1") : restored_token(store.peek_custom(id));
            return describe_reg_writes(reg, {dx_token_write(reg, token, view(value))});
        },
        [&store, id] { return store.has(id); },
    };
}

// A registry change whose apply and revert are fixed writes.
CustomOps reg_write_ops(Reg& reg, std::function<bool()> check, std::function<RegWrite(bool apply)> write) {
    return {
        std::move(check),
        [&reg, write] { write_reg(reg, write(true)); },
        [&reg, write] { write_reg(reg, write(false)); },
        [&reg, write](bool apply) { return describe_reg_writes(reg, {write(apply)}); },
    };
}

}  // namespace

void register_operations(Operations& ops, const OpsContext& ctx) {
    platform::Platform& pf = ctx.pf;
    Reg& reg = ctx.reg;
    BackupStore& store = ctx.store;
    IniFile& ini = ctx.ini;
    const SystemFacts& facts = ctx.facts;

    ops.predicates["windows11"] = [&facts] { return facts.build >= 22000; };
    ops.predicates["ram16"] = [&facts] { return facts.ram_gb >= 16; };
    ops.predicates["has_fortnite"] = [&facts] { return facts.fortnite_exe.has_value(); };
    ops.predicates["ini_exists"] = [&ini] { return ini.exists(); };
    ops.predicates["defender_for_fortnite"] = [&facts, &pf] {
        return facts.fortnite_exe.has_value() && pf.defender().available() && pf.defender().realtime_protection_enabled();
    };

    ops.customs["power_plan"] = power_plan_ops(pf.power(), reg, store);
    register_input_network_operations(ops, ctx);
    register_system_extras_operations(ops, ctx);
    register_privacy_operations(ops, ctx);
    register_network_extras_operations(ops, ctx);

    // Windows keeps HibernateEnabled and the hibernation file in step; the value is what we read.
    auto hibernation = [&reg]() -> std::optional<bool> {
        Json v = reg.get("HKLM:\\SYSTEM\\CurrentControlSet\\Control\\Power", "HibernateEnabled");
        if (!v.is_number_integer()) return std::nullopt;
        return v.get<int64_t>() != 0;
    };
    ops.customs["hibernation"] = {
        [hibernation] { return hibernation() == std::optional<bool>(false); },
        [&pf] { pf.power().set_hibernation(false); },
        [&pf] { pf.power().set_hibernation(true); },
        [hibernation](bool apply) {
            Changes out;
            add_switch(out, "hibernation", hibernation(), !apply);
            return out;
        },
    };

    // The boot entry's setting, by its name compared without regard to case.
    auto dynamic_tick = [&pf]() -> std::optional<std::string> {
        for (auto& [name, value] : pf.boot().current_entry())
            if (to_lower(name).find("disabledynamictick") != std::string::npos) return value;
        return std::nullopt;
    };
    ops.customs["dynamic_tick"] = {
        // "No" is the setting present and dynamic ticks still on.
        [dynamic_tick] {
            auto v = dynamic_tick();
            return v && iequals(*v, "yes");
        },
        [&pf] { pf.boot().set_value("disabledynamictick", "yes"); },
        // Only when set: a revert also runs after an apply that stopped before writing it.
        [&pf, dynamic_tick] {
            if (dynamic_tick()) pf.boot().delete_value("disabledynamictick");
        },
        [dynamic_tick](bool apply) -> Changes {
            auto now = dynamic_tick();
            if (apply && !(now && iequals(*now, "yes"))) return {{"boot entry disabledynamictick", now.value_or("(not set)"), "yes"}};
            if (!apply && now) return {{"boot entry disabledynamictick", *now, "(deleted)"}};
            return {};
        },
    };

    ops.customs["memory_compression"] = {
        [&pf] { return pf.memory_agent().enabled(platform::MemoryFeature::Compression) == std::optional<bool>(false); },
        [&pf] { pf.memory_agent().set_enabled(platform::MemoryFeature::Compression, false); },
        [&pf] { pf.memory_agent().set_enabled(platform::MemoryFeature::Compression, true); },
        [&pf](bool apply) {
            Changes out;
            add_switch(out, "memory compression (memory manager agent)",
                       pf.memory_agent().enabled(platform::MemoryFeature::Compression), !apply);
            return out;
        },
    };

    ops.customs["dx_windowed_optimizations"] = dx_token_ops(reg, store, "winopt", "SwapEffectUpgradeEnable");
    ops.customs["dx_vrr"] = dx_token_ops(reg, store, "vrr", "VRROptimizeEnable");

    // The game's whole GPU preference value is replaced, so the one it had is recorded first.
    auto gpu_entry = [&facts] {
        return RegE{kDxKey, game_exe(facts), "GpuPreference=2;", RegKind::String};
    };
    ops.customs["fortnite_gpu"] = {
        [&reg, &facts] {
            if (!facts.fortnite_exe) return false;
            return value_text(reg.get(kDxKey, *facts.fortnite_exe)) == "GpuPreference=2;";
        },
        [&reg, &store, gpu_entry] {
            RegE e = gpu_entry();
            backup_reg(store, kGpuRecord, {e}, reg);
            reg.set(e.p, e.n, e.v, e.t);
        },
        [&reg, &store, gpu_entry] { restore_reg(store, kGpuRecord, {gpu_entry()}, reg); },
        [&reg, &store, gpu_entry](bool apply) {
            RegE e = gpu_entry();
            return describe_reg_writes(reg, apply ? apply_writes({e}) : restore_writes(store, kGpuRecord, {e}));
        },
        [&store] { return store.has(kGpuRecord); },
    };

    ops.customs["fortnite_fso"] = reg_write_ops(
        reg,
        [&reg, &facts] {
            if (!facts.fortnite_exe) return false;
            for (auto& t : get_layer_tokens(reg, *facts.fortnite_exe))
                if (iequals(t, kFsoToken)) return true;
            return false;
        },
        [&reg, &facts](bool apply) { return layer_token_write(reg, game_exe(facts), kFsoToken, apply); });

    auto excluded = [&pf](const std::string& root) {
        for (auto& p : pf.defender().exclusion_paths())
            if (iequals(p, root)) return true;
        return false;
    };
    ops.customs["fortnite_defender"] = {
        [&facts, excluded] {
            auto root = fortnite_root(facts.fortnite_exe);
            return root && excluded(*root);
        },
        [&pf, &facts] { pf.defender().add_exclusion_path(game_root(facts)); },
        [&pf, &facts, excluded] {
            std::string root = game_root(facts);
            if (excluded(root)) pf.defender().remove_exclusion_path(root);
        },
        [&facts, excluded](bool apply) {
            Changes out;
            std::string root = game_root(facts);
            add_yes_no(out, "Microsoft Defender exclusion " + root, excluded(root), apply);
            return out;
        },
    };

    ops.customs["ini_lock"] = {
        [&pf, &ini] { return pf.files().is_read_only(ini.path()); },
        [&pf, &ini] { pf.files().set_read_only(ini.path(), true); },
        [&pf, &ini] { pf.files().set_read_only(ini.path(), false); },
        [&pf, &ini](bool apply) {
            Changes out;
            add_yes_no(out, ini.path() + " read-only", pf.files().is_read_only(ini.path()), apply);
            return out;
        },
    };
}

}  // namespace vexlo
