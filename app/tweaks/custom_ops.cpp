#include "app/tweaks/custom_ops.h"

#include "app/core/backup_store.h"
#include "app/core/dx_settings.h"
#include "app/core/game.h"
#include "app/core/ini_file.h"
#include "app/core/paths.h"
#include "app/core/system_facts.h"
#include "app/core/text.h"
#include "app/tweaks/kinds/reg_backup.h"
#include "app/tweaks/operations.h"
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

// Our copy when it still exists, else empty.
std::string our_plan(platform::Power& power, const std::string& ours) {
    if (ours.empty()) return {};
    for (auto& p : power.plans())
        if (iequals(p.guid, ours)) return p.guid;
    return {};
}

std::optional<std::string> plan_name(platform::Power& power, std::string_view guid) {
    for (auto& p : power.plans())
        if (iequals(p.guid, guid)) return p.name;
    return std::nullopt;
}

// The plan to go back to: the one active before ours, or Balanced.
std::string plan_before(Reg& reg, const std::string& ours) {
    std::string prev = setting_text(reg, "PrevPowerPlan");
    return prev.empty() || iequals(prev, ours) ? kBalanced : prev;
}

Changes describe_power_plan(platform::Power& power, Reg& reg, bool apply) {
    Changes out;
    const std::string ours = setting_text(reg, "PowerPlan");
    const auto active = power.active_plan();
    std::string target, target_name;
    if (apply) {
        if (active && (ours.empty() || !iequals(active->guid, ours)))
            add_reg(out, reg, {kSettingsKey, "PrevPowerPlan", active->guid, RegKind::String});
        target = our_plan(power, ours);
        if (target.empty()) {
            // The copy's GUID is Windows' to choose when it makes it.
            out.push_back({std::string("power plan ") + kOurPlanName, "(none)", "copy of Ultimate Performance"});
            auto now = reg.get_raw(kSettingsKey, "PowerPlan");
            out.push_back({std::string(kSettingsKey) + "\\PowerPlan", now ? reg_value_shown(*now) : "(not set)",
                           "the copy's GUID (String)"});
            target_name = kOurPlanName;
        } else {
            add_reg(out, reg, {kSettingsKey, "PowerPlan", target, RegKind::String});
            target_name = plan_name(power, target).value_or(target);
        }
    } else {
        // As the revert does: the plan before if Windows still has it, and never ours.
        target = active ? active->guid : std::string();
        if (plan_name(power, plan_before(reg, ours))) target = plan_before(reg, ours);
        if (!ours.empty() && iequals(target, ours) && plan_name(power, kBalanced)) target = kBalanced;
        target_name = plan_name(power, target).value_or(target);
    }
    // A copy still to be made has no GUID yet, and is never the active plan.
    if (target.empty() ? apply : !(active && iequals(active->guid, target)))
        out.push_back({"active power plan", active ? active->name : "(none)", target_name});
    return out;
}

CustomOps power_plan_ops(platform::Power& power, Reg& reg) {
    return {
        [&power, &reg] {
            std::string ours = setting_text(reg, "PowerPlan");
            auto active = power.active_plan();
            return !ours.empty() && active && iequals(active->guid, ours);
        },
        [&power, &reg] {
            std::string ours = setting_text(reg, "PowerPlan");
            auto active = power.active_plan();
            if (active && (ours.empty() || !iequals(active->guid, ours)))
                reg.set(kSettingsKey, "PrevPowerPlan", active->guid, RegKind::String);
            std::string target = our_plan(power, ours);
            if (target.empty()) {
                if (auto copy = power.duplicate_plan(kUltimateTemplate)) {
                    target = *copy;
                    power.rename_plan(target, kOurPlanName, "Created by Vexlo Tweaks");
                }
            }
            if (target.empty()) target = kHighPerformance;
            if (!power.set_active(target)) throw std::runtime_error("Windows did not switch to the power plan.");
            reg.set(kSettingsKey, "PowerPlan", target, RegKind::String);
        },
        [&power, &reg] {
            std::string ours = setting_text(reg, "PowerPlan");
            power.set_active(plan_before(reg, ours));
            auto active = power.active_plan();
            if (active && !ours.empty() && iequals(active->guid, ours)) power.set_active(kBalanced);
        },
        [&power, &reg](bool apply) { return describe_power_plan(power, reg, apply); },
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

// A token of the per-user DirectX settings, with the prior value kept under the tweak's id.
CustomOps dx_token_ops(Reg& reg, BackupStore& store, std::string id, std::string token) {
    return {
        [&reg, token] { return get_dx_token(reg, token) == std::optional<std::string>("1"); },
        [&reg, &store, id, token] {
            auto cur = get_dx_token(reg, token);
            store.save_custom(id, cur ? Json(*cur) : Json(nullptr));
            write_reg(reg, dx_token_write(reg, token, std::string_view("1")));
        },
        [&reg, &store, id, token] {
            auto value = restored_token(store.pop_custom(id));
            write_reg(reg, dx_token_write(reg, token, view(value)));
        },
        [&reg, &store, id, token](bool apply) {
            auto value = apply ? std::optional<std::string>("1") : restored_token(store.peek_custom(id));
            return describe_reg_writes(reg, {dx_token_write(reg, token, view(value))});
        },
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

    ops.customs["power_plan"] = power_plan_ops(pf.power(), reg);

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
        [dynamic_tick] { return dynamic_tick().has_value(); },
        [&pf] { pf.boot().set_value("disabledynamictick", "yes"); },
        [&pf] { pf.boot().delete_value("disabledynamictick"); },
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

    ops.customs["fortnite_gpu"] = reg_write_ops(
        reg,
        [&reg, &facts] {
            if (!facts.fortnite_exe) return false;
            return value_text(reg.get(kDxKey, *facts.fortnite_exe)) == "GpuPreference=2;";
        },
        [&facts](bool apply) {
            return RegWrite{kDxKey, game_exe(facts),
                            apply ? std::optional<Json>("GpuPreference=2;") : std::nullopt, RegKind::String};
        });

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
        [&pf, &facts] { pf.defender().remove_exclusion_path(game_root(facts)); },
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
