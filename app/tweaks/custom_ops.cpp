#include "app/tweaks/custom_ops.h"

#include "app/core/dx_settings.h"
#include "app/core/paths.h"
#include "app/core/game.h"
#include "app/core/text.h"

namespace vexlo {

namespace {

constexpr const char* kUltimateTemplate = "e9a42b02-d5df-448d-aa00-03f14749eb61";
constexpr const char* kHighPerformance = "8c5e7fda-e8bf-4a96-9a85-a6e23a8c635c";
constexpr const char* kBalanced = "381b4222-f694-41f0-9685-ff5bb260df2e";
constexpr const char* kFsoToken = "DISABLEDXMAXIMIZEDWINDOWEDMODE";

std::string setting_text(Reg& reg, const char* name) { return value_text(reg.get(kSettingsKey, name)); }

const std::string& game_exe(const OpsContext& app) {
    if (!app.facts.fortnite_exe) throw std::runtime_error("Fortnite was not found on this PC.");
    return *app.facts.fortnite_exe;
}

// The Ultimate Performance plan, copied once from Windows' template and reused afterwards.
void register_power_plan(Operations& ops, const OpsContext& app) {
    auto& power = app.pf.power();
    Reg& reg = app.reg;
    ops.customs["power_plan"] = {
        [&] {
            std::string ours = setting_text(reg, "PowerPlan");
            auto active = power.active_plan();
            return !ours.empty() && active && iequals(active->guid, ours);
        },
        [&] {
            std::string ours = setting_text(reg, "PowerPlan");
            auto active = power.active_plan();
            if (active && (ours.empty() || !iequals(active->guid, ours)))
                reg.set(kSettingsKey, "PrevPowerPlan", active->guid, platform::RegKind::String);
            std::string target;
            if (!ours.empty())
                for (auto& p : power.plans())
                    if (iequals(p.guid, ours)) target = p.guid;
            if (target.empty()) {
                if (auto copy = power.duplicate_plan(kUltimateTemplate)) {
                    target = *copy;
                    power.rename_plan(target, "Vexlo Tweaks Ultimate", "Created by Vexlo Tweaks");
                }
            }
            if (target.empty()) target = kHighPerformance;
            if (!power.set_active(target)) throw std::runtime_error("Windows did not switch to the power plan.");
            reg.set(kSettingsKey, "PowerPlan", target, platform::RegKind::String);
        },
        [&] {
            std::string ours = setting_text(reg, "PowerPlan");
            std::string prev = setting_text(reg, "PrevPowerPlan");
            if (prev.empty() || iequals(prev, ours)) prev = kBalanced;
            power.set_active(prev);
            auto active = power.active_plan();
            if (active && !ours.empty() && iequals(active->guid, ours)) power.set_active(kBalanced);
        },
    };
}

// A token of the per-user DirectX settings, with the prior value kept under the tweak's id.
CustomOps dx_token_ops(const OpsContext& app, std::string id, std::string token) {
    Reg& reg = app.reg;
    BackupStore& store = app.store;
    return {
        [&reg, token] { return get_dx_token(reg, token) == std::optional<std::string>("1"); },
        [&reg, &store, id, token] {
            auto cur = get_dx_token(reg, token);
            store.save_custom(id, cur ? Json(*cur) : Json(nullptr));
            set_dx_token(reg, token, std::string_view("1"));
        },
        [&reg, &store, id, token] {
            auto rec = store.pop_custom(id);
            if (rec.has && !(rec.v.is_string() && rec.v.get<std::string>() == "1")) {
                if (rec.v.is_null())
                    set_dx_token(reg, token, std::nullopt);
                else
                    set_dx_token(reg, token, std::string_view(value_text(rec.v)));
            } else {
                set_dx_token(reg, token, std::string_view("0"));
            }
        },
    };
}

}  // namespace

void register_operations(Operations& ops, const OpsContext& app) {
    auto& facts = app.facts;
    auto& pf = app.pf;
    Reg& reg = app.reg;

    ops.predicates["windows11"] = [&facts] { return facts.build >= 22000; };
    ops.predicates["ram16"] = [&facts] { return facts.ram_gb >= 16; };
    ops.predicates["has_fortnite"] = [&facts] { return facts.fortnite_exe.has_value(); };
    ops.predicates["ini_exists"] = [app] { return app.ini.exists(); };
    ops.predicates["defender_for_fortnite"] = [&facts, &pf] {
        return facts.fortnite_exe.has_value() && pf.defender().available() && pf.defender().realtime_protection_enabled();
    };

    register_power_plan(ops, app);

    ops.customs["hibernation"] = {
        [&reg] {
            Json v = reg.get("HKLM:\\SYSTEM\\CurrentControlSet\\Control\\Power", "HibernateEnabled");
            return v.is_number_integer() && v.get<int64_t>() == 0;
        },
        [&pf] { pf.power().set_hibernation(false); },
        [&pf] { pf.power().set_hibernation(true); },
    };

    ops.customs["dynamic_tick"] = {
        [&pf] {
            for (auto& [name, value] : pf.boot().current_entry())
                if (to_lower(name).find("disabledynamictick") != std::string::npos) return true;
            return false;
        },
        [&pf] { pf.boot().set_value("disabledynamictick", "yes"); },
        [&pf] { pf.boot().delete_value("disabledynamictick"); },
    };

    ops.customs["memory_compression"] = {
        [&pf] { return pf.memory_agent().enabled(platform::MemoryFeature::Compression) == std::optional<bool>(false); },
        [&pf] { pf.memory_agent().set_enabled(platform::MemoryFeature::Compression, false); },
        [&pf] { pf.memory_agent().set_enabled(platform::MemoryFeature::Compression, true); },
    };

    ops.customs["dx_windowed_optimizations"] = dx_token_ops(app, "winopt", "SwapEffectUpgradeEnable");
    ops.customs["dx_vrr"] = dx_token_ops(app, "vrr", "VRROptimizeEnable");

    ops.customs["fortnite_gpu"] = {
        [app] {
            if (!app.facts.fortnite_exe) return false;
            return value_text(app.reg.get(kDxKey, *app.facts.fortnite_exe)) == "GpuPreference=2;";
        },
        [app] { app.reg.set(kDxKey, game_exe(app), "GpuPreference=2;", platform::RegKind::String); },
        [app] { app.reg.remove(kDxKey, game_exe(app)); },
    };

    ops.customs["fortnite_fso"] = {
        [app] {
            if (!app.facts.fortnite_exe) return false;
            for (auto& t : get_layer_tokens(app.reg, *app.facts.fortnite_exe))
                if (iequals(t, kFsoToken)) return true;
            return false;
        },
        [app] { set_layer_token(app.reg, game_exe(app), kFsoToken, true); },
        [app] { set_layer_token(app.reg, game_exe(app), kFsoToken, false); },
    };

    ops.customs["fortnite_defender"] = {
        [app] {
            auto root = fortnite_root(app.facts.fortnite_exe);
            if (!root) return false;
            for (auto& p : app.pf.defender().exclusion_paths())
                if (iequals(p, *root)) return true;
            return false;
        },
        [app] { app.pf.defender().add_exclusion_path(*fortnite_root(game_exe(app))); },
        [app] { app.pf.defender().remove_exclusion_path(*fortnite_root(game_exe(app))); },
    };

    ops.customs["ini_lock"] = {
        [app] { return app.pf.files().is_read_only(app.ini.path()); },
        [app] { app.pf.files().set_read_only(app.ini.path(), true); },
        [app] { app.pf.files().set_read_only(app.ini.path(), false); },
    };
}

}  // namespace vexlo
