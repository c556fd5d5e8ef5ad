#include "app/tools/applied_marks.h"

#include "app/core/paths.h"
#include "app/tweaks/change_marks.h"

namespace vexlo {

namespace {
constexpr const char* kApplied = "Applied";
}

std::vector<std::string> get_applied_ids(Reg& reg) { return id_list(reg, kApplied); }

void set_applied_mark(Reg& reg, std::string_view id, bool on) { set_in_id_list(reg, kApplied, id, on); }

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
