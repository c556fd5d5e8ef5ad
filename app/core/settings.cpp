#include "app/core/settings.h"

#include "app/core/paths.h"

namespace vexlo::settings {

namespace {
std::optional<int64_t> dword(Reg& reg, const char* name) {
    Json v = reg.get(kSettingsKey, name);
    if (v.is_number_integer()) return v.get<int64_t>();
    return std::nullopt;
}
}  // namespace

bool auto_reapply(Reg& reg) { return dword(reg, "AutoReapply").value_or(0) == 1; }

bool check_updates(Reg& reg) { return dword(reg, "CheckUpdates").value_or(1) != 0; }

std::optional<std::string> last_version(Reg& reg) {
    Json v = reg.get(kSettingsKey, "LastVersion");
    if (v.is_null()) return std::nullopt;
    return value_text(v);
}

void set_last_version(Reg& reg, const std::string& version) {
    reg.set(kSettingsKey, "LastVersion", version, platform::RegKind::String);
}

}  // namespace vexlo::settings
