#include "app/tweaks/change_marks.h"

#include <algorithm>

#include "app/core/paths.h"

namespace vexlo {

namespace {
constexpr const char* kChanged = "Changed";
}

std::vector<std::string> id_list(Reg& reg, const char* value_name) {
    std::vector<std::string> ids;
    Json v = reg.get(kSettingsKey, value_name);
    if (v.is_array()) {
        for (auto& e : v)
            if (e.is_string() && !e.get<std::string>().empty()) ids.push_back(e.get<std::string>());
    } else if (v.is_string() && !v.get<std::string>().empty()) {
        ids.push_back(v.get<std::string>());
    }
    return ids;
}

void set_in_id_list(Reg& reg, const char* value_name, std::string_view id, bool on) {
    auto ids = id_list(reg, value_name);
    const size_t before = ids.size();
    const bool was_last = !ids.empty() && ids.back() == id;
    std::erase(ids, std::string(id));
    // Nothing to write when the list already says so: a kill can then never tear it.
    if (on && was_last && before == ids.size() + 1) return;
    if (!on && before == ids.size()) return;
    if (on) ids.emplace_back(id);
    if (ids.empty()) {
        reg.remove(kSettingsKey, value_name);
        return;
    }
    reg.set(kSettingsKey, value_name, Json(ids), platform::RegKind::MultiString);
}

bool has_change_mark(Reg& reg, std::string_view id) {
    auto ids = id_list(reg, kChanged);
    return std::find(ids.begin(), ids.end(), id) != ids.end();
}

void set_change_mark(Reg& reg, std::string_view id, bool on) { set_in_id_list(reg, kChanged, id, on); }

}  // namespace vexlo
