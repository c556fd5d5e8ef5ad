#include "app/tools/applied_marks.h"

#include <algorithm>

#include "app/core/paths.h"

namespace vexlo {

namespace {
constexpr const char* kApplied = "Applied";
}

std::vector<std::string> get_applied_ids(Reg& reg) {
    std::vector<std::string> ids;
    Json v = reg.get(kSettingsKey, kApplied);
    if (v.is_array()) {
        for (auto& e : v)
            if (e.is_string() && !e.get<std::string>().empty()) ids.push_back(e.get<std::string>());
    } else if (v.is_string() && !v.get<std::string>().empty()) {
        ids.push_back(v.get<std::string>());
    }
    return ids;
}

void set_applied_mark(Reg& reg, std::string_view id, bool on) {
    auto ids = get_applied_ids(reg);
    std::erase(ids, std::string(id));
    if (on) ids.emplace_back(id);
    if (ids.empty()) {
        reg.remove(kSettingsKey, kApplied);
        return;
    }
    reg.set(kSettingsKey, kApplied, Json(ids), platform::RegKind::MultiString);
}

void initialize_applied_marks(Reg& reg, const Catalog& cat) {
    if (reg.get_raw(kSettingsKey, kApplied)) return;
    std::vector<std::string> ids;
    for (auto& t : cat.tweaks)
        if (t->kind != Kind::Startup && t->state) ids.push_back(t->id);
    if (!ids.empty()) reg.set(kSettingsKey, kApplied, Json(ids), platform::RegKind::MultiString);
}

std::vector<Tweak*> get_reverted_tweaks(Reg& reg, const Catalog& cat) {
    std::vector<Tweak*> out;
    for (auto& id : get_applied_ids(reg))
        if (Tweak* t = cat.find(id); t && t->available && !t->state) out.push_back(t);
    return out;
}

}  // namespace vexlo
