// Power plans and hibernation of the simulated PC.
#include <random>

#include "platform/sim/sim_files.h"
#include "platform/sim/sim_registry.h"
#include "platform/sim/sim_world.h"

namespace vexlo::sim {

namespace fs = std::filesystem;
using platform::PlatformError;

namespace {

const char* const kPowerKey = R"(SYSTEM\CurrentControlSet\Control\Power)";
const char* const kHiberFile = R"(C:\hiberfil.sys)";

std::string new_guid() {
    static thread_local std::mt19937_64 rng{std::random_device{}()};
    uint64_t hi = rng(), lo = rng();
    hi = (hi & ~0xF000ull) | 0x4000ull;                             // version 4
    lo = (lo & ~(0xC000ull << 48)) | (0x8000ull << 48);             // variant 10xx
    char text[37];
    std::snprintf(text, sizeof text, "%08x-%04x-%04x-%04x-%012llx", unsigned(hi >> 32), unsigned(hi >> 16) & 0xFFFF,
                  unsigned(hi) & 0xFFFF, unsigned(lo >> 48), (unsigned long long)(lo & 0xFFFFFFFFFFFFull));
    return text;
}

// PowerValue* or const PowerValue*, as the plan is; null when the plan lacks the setting.
template <class Plan>
auto find_setting(Plan& plan, std::string_view subgroup, std::string_view setting) {
    auto sub = plan.settings.find(to_lower(subgroup));
    decltype(&sub->second.begin()->second) none = nullptr;
    if (sub == plan.settings.end()) return none;
    auto it = sub->second.find(to_lower(setting));
    return it == sub->second.end() ? none : &it->second;
}

}  // namespace

PowerPlanData* PowerState::find(std::string_view guid) {
    for (auto& plan : plans)
        if (iequals(plan.guid, guid)) return &plan;
    return nullptr;
}

SimPower::SimPower(const fs::path& dir, SimRegistry& registry, SimFiles& files, Faults& faults)
    : store_(dir / "power.json", world_counter_file(dir), "power plans"), registry_(registry), files_(files), faults_(faults) {}

std::optional<platform::PowerPlan> SimPower::active_plan() {
    return store_.read([](const PowerState& s) -> std::optional<platform::PowerPlan> {
        for (auto& plan : s.plans)
            if (!plan.is_template && iequals(plan.guid, s.active)) return platform::PowerPlan{plan.guid, plan.name};
        return std::nullopt;
    });
}

std::vector<platform::PowerPlan> SimPower::plans() {
    return store_.read([](const PowerState& s) {
        std::vector<platform::PowerPlan> out;
        for (auto& plan : s.plans)
            if (!plan.is_template) out.push_back({plan.guid, plan.name});
        return out;
    });
}

std::optional<std::string> SimPower::duplicate_plan(std::string_view guid) {
    if (faults_.power_write_fails()) return std::nullopt;
    try {
        return store_.update([&](PowerState& s) -> std::optional<std::string> {
            PowerPlanData* source = s.find(guid);
            if (!source) return std::nullopt;
            PowerPlanData copy = *source;
            copy.guid = new_guid();
            copy.is_template = false;
            s.plans.push_back(std::move(copy));
            return s.plans.back().guid;
        });
    } catch (const PlatformError&) {
        return std::nullopt;
    }
}

bool SimPower::rename_plan(std::string_view guid, std::string_view name, std::string_view description) {
    if (faults_.power_write_fails() || name.empty()) return false;
    try {
        return store_.update([&](PowerState& s) {
            PowerPlanData* plan = s.find(guid);
            if (!plan || plan->is_template) return false;
            plan->name = name;
            plan->description = description;
            return true;
        });
    } catch (const PlatformError&) {
        return false;
    }
}

bool SimPower::set_active(std::string_view guid) {
    if (faults_.power_write_fails()) return false;
    try {
        return store_.update([&](PowerState& s) {
            PowerPlanData* plan = s.find(guid);
            if (!plan || plan->is_template) return false;
            s.active = plan->guid;
            return true;
        });
    } catch (const PlatformError&) {
        return false;
    }
}

std::optional<int32_t> SimPower::ac_index(std::string_view subgroup, std::string_view setting) {
    return store_.read([&](const PowerState& s) -> std::optional<int32_t> {
        for (auto& plan : s.plans) {
            if (plan.is_template || !iequals(plan.guid, s.active)) continue;
            if (const PowerValue* v = find_setting(plan, subgroup, setting)) return v->ac;
        }
        return std::nullopt;
    });
}

std::optional<int32_t> SimPower::plan_ac_index(std::string_view plan_guid, std::string_view subgroup,
                                               std::string_view setting) {
    return store_.read([&](const PowerState& s) -> std::optional<int32_t> {
        for (auto& plan : s.plans) {
            if (plan.is_template || !iequals(plan.guid, plan_guid)) continue;
            if (const PowerValue* v = find_setting(plan, subgroup, setting)) return v->ac;
        }
        return std::nullopt;
    });
}

void SimPower::set_ac_index(std::string_view subgroup, std::string_view setting, int32_t value) {
    if (faults_.power_write_fails())
        throw PlatformError("Cannot change the power setting: Access is denied.");
    store_.update([&](PowerState& s) {
        PowerPlanData* plan = s.find(s.active);
        if (!plan || plan->is_template) throw PlatformError("Cannot change the power setting: there is no active power plan.");
        PowerValue* v = find_setting(*plan, subgroup, setting);
        if (!v)
            throw PlatformError("Cannot change the power setting " + std::string(setting) + " of the plan \"" + plan->name +
                                "\": The system cannot find the file specified.");
        v->ac = value;
    });
}

void SimPower::set_plan_ac_index(std::string_view plan_guid, std::string_view subgroup, std::string_view setting,
                                 int32_t value) {
    if (faults_.power_write_fails())
        throw PlatformError("Cannot change the power setting: Access is denied.");
    store_.update([&](PowerState& s) {
        PowerPlanData* plan = s.find(plan_guid);
        if (!plan || plan->is_template)
            throw PlatformError("Cannot change the power setting " + std::string(setting) + ": the power plan " +
                                std::string(plan_guid) + " does not exist.");
        PowerValue* v = find_setting(*plan, subgroup, setting);
        if (!v)
            throw PlatformError("Cannot change the power setting " + std::string(setting) + " of the plan \"" + plan->name +
                                "\": The system cannot find the file specified.");
        v->ac = value;
    });
}

std::optional<PowerValue> SimPower::value(std::string_view plan_guid, std::string_view subgroup, std::string_view setting) {
    return store_.read([&](const PowerState& s) -> std::optional<PowerValue> {
        for (auto& plan : s.plans) {
            if (!iequals(plan.guid, plan_guid)) continue;
            if (const PowerValue* v = find_setting(plan, subgroup, setting)) return *v;
        }
        return std::nullopt;
    });
}

void SimPower::delete_plan(std::string_view guid) {
    store_.update([&](PowerState& s) {
        PowerPlanData* plan = s.find(guid);
        if (!plan || plan->is_template) throw PlatformError("There is no power plan " + std::string(guid) + ".");
        if (iequals(plan->guid, s.active)) throw PlatformError("The active power plan cannot be deleted.");
        s.plans.erase(s.plans.begin() + (plan - s.plans.data()));
    });
}

void SimPower::set_hibernation(bool on) {
    if (faults_.power_write_fails()) throw PlatformError("Cannot change hibernation: Access is denied.");
    using platform::Hive;
    auto old = registry_.get(Hive::LocalMachine, kPowerKey, "HibernateEnabled");
    registry_.set(Hive::LocalMachine, kPowerKey, "HibernateEnabled", platform::RegValue::dword(on ? 1 : 0));
    try {
        if (on && !files_.exists(kHiberFile)) {
            // The real file holds the memory image; a header-sized stand-in is enough here.
            files_.write(kHiberFile, std::string("HIBR") + std::string(4092, '\0'));
        } else if (!on) {
            files_.remove(kHiberFile);
        }
    } catch (...) {
        try {
            if (old) registry_.set(Hive::LocalMachine, kPowerKey, "HibernateEnabled", *old);
            else registry_.remove(Hive::LocalMachine, kPowerKey, "HibernateEnabled");
        } catch (const PlatformError&) {
            // The file's error is the one to report.
        }
        throw;
    }
}

}  // namespace vexlo::sim
