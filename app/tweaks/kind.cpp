#include "app/tweaks/kind.h"

#include <stdexcept>

#include "app/core/backup_store.h"
#include "app/tweaks/tweak.h"

#include "app/tweaks/kinds/custom_kind.h"
#include "app/tweaks/kinds/devpwr_kind.h"
#include "app/tweaks/kinds/ini_kind.h"
#include "app/tweaks/kinds/nic_kind.h"
#include "app/tweaks/kinds/pwr_kind.h"
#include "app/tweaks/kinds/reg_kind.h"
#include "app/tweaks/kinds/startup_kind.h"
#include "app/tweaks/kinds/svc_kind.h"
#include "app/tweaks/kinds/task_kind.h"

namespace vexlo {

const std::vector<const KindHandler*>& kind_handlers() {
    static const std::vector<const KindHandler*> table = [] {
        // One line per kind, in the order of enum Kind.
        std::vector<const KindHandler*> t = {
            &reg_handler(),    &svc_handler(),     &task_handler(),
            &pwr_handler(),    &nic_handler(),     &devpwr_handler(),
            &ini_handler(),    &startup_handler(), &custom_handler(),
        };
        for (size_t i = 0; i < t.size(); ++i)
            if (size_t(t[i]->kind()) != i) throw std::logic_error("the kind table is not in the order of enum Kind");
        return t;
    }();
    return table;
}

const KindHandler& kind_handler(Kind k) {
    const auto& table = kind_handlers();
    const size_t i = size_t(k);
    if (i >= table.size()) throw std::logic_error("no handler for kind number " + std::to_string(i));
    return *table[i];
}

std::string_view kind_name(Kind k) { return kind_handler(k).name(); }

const Kind* parse_kind(std::string_view name) {
    static const std::vector<Kind> kinds = [] {
        std::vector<Kind> out;
        for (const KindHandler* h : kind_handlers()) out.push_back(h->kind());
        return out;
    }();
    for (size_t i = 0; i < kinds.size(); ++i)
        if (kind_handlers()[i]->name() == name) return &kinds[i];
    return nullptr;
}

std::optional<std::string> KindHandler::unavailable(const Tweak&, KindContext&) const { return std::nullopt; }

bool KindHandler::recorded(const Tweak& t, KindContext& ctx) const { return ctx.store.has(t.id); }

std::optional<std::string> KindHandler::record_problem(const Tweak&, const Json&) const { return std::nullopt; }

std::string ignored_places_line(std::string_view id, int ignored) {
    return "Ignored " + std::to_string(ignored) + (ignored == 1 ? " entry" : " entries") + " of the backup record '" +
           std::string(id) + "' that name places this tweak does not change.";
}

std::string change_text(const PlannedChange& c) { return c.where + ": " + c.now + " -> " + c.next; }

}  // namespace vexlo
