#pragma once
// Power plans and their settings, and hibernation. GUIDs are lower-case 8-4-4-4-12 text.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vexlo::platform {

struct PowerPlan {
    std::string guid;
    std::string name;
};

class Power {
public:
    virtual ~Power() = default;
    virtual std::optional<PowerPlan> active_plan() = 0;
    virtual std::vector<PowerPlan> plans() = 0;
    // Copies a plan (a template such as Ultimate Performance may be copied even when it is not
    // listed); the new plan's GUID, or nullopt when it could not be copied.
    virtual std::optional<std::string> duplicate_plan(std::string_view guid) = 0;
    // False when the plan does not exist or cannot be changed.
    virtual bool rename_plan(std::string_view guid, std::string_view name, std::string_view description) = 0;
    virtual bool set_active(std::string_view guid) = 0;
    // The plugged-in (AC) value index of a setting of the active plan; nullopt when the plan does
    // not expose it.
    virtual std::optional<int32_t> ac_index(std::string_view subgroup, std::string_view setting) = 0;
    // Writes the AC index on the active plan and re-activates the plan. Throws PlatformError.
    virtual void set_ac_index(std::string_view subgroup, std::string_view setting, int32_t value) = 0;
    // The same for a named plan, active or not (not a hidden template); nullopt when there is
    // no such plan or it does not expose the setting.
    virtual std::optional<int32_t> plan_ac_index(std::string_view plan, std::string_view subgroup,
                                                 std::string_view setting) = 0;
    // Writes the AC index of a named plan, re-activating it when it is the active one, so that a
    // value goes back into the plan it was read from. Throws PlatformError.
    virtual void set_plan_ac_index(std::string_view plan, std::string_view subgroup, std::string_view setting,
                                   int32_t value) = 0;
    // Turns hibernation on or off (the hibernation file and HibernateEnabled). Throws PlatformError.
    virtual void set_hibernation(bool on) = 0;
};

}  // namespace vexlo::platform
