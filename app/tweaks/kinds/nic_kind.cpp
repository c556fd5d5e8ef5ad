#include "app/tweaks/kinds/nic_kind.h"

#include <algorithm>
#include <stdexcept>

#include "app/core/backup_store.h"
#include "app/tweaks/nic_cache.h"
#include "app/core/text.h"
#include "app/tweaks/kinds/reg_backup.h"
#include "app/tweaks/parse_context.h"
#include "app/tweaks/scope_exit.h"
#include "app/tweaks/tweak.h"
#include "platform/platform.h"

namespace vexlo {

namespace {

struct NicWrite {
    std::string adapter, display_name, value;
};

// What a revert sets: the recorded values, or without any, each target's first valid value
// other than the wanted one.
std::vector<NicWrite> revert_writes(const Tweak& t, KindContext& ctx) {
    std::vector<NicWrite> out;
    const auto targets = ctx.nic.targets(t.data_as<NicKindData>());
    if (const Json* rec = ctx.store.get(t.id); rec && rec->is_array()) {
        int ignored = 0;
        for (auto& r : *rec) {
            if (!r.is_object() || !r.contains("A") || !r.contains("D") || !r.contains("V")) continue;
            NicWrite w{value_text(r["A"]), value_text(r["D"]), value_text(r["V"])};
            // Only a property this tweak changes, and only to one of its valid values.
            auto x = std::find_if(targets.begin(), targets.end(), [&](const NicTarget& x) {
                return iequals(x.adapter, w.adapter) && iequals(x.display_name, w.display_name);
            });
            if (x == targets.end() ||
                (!x->valid.empty() && std::none_of(x->valid.begin(), x->valid.end(), [&](auto& v) { return iequals(v, w.value); }))) {
                ++ignored;
                continue;
            }
            out.push_back({x->adapter, x->display_name, w.value});
        }
        if (ignored > 0 && ctx.warn) ctx.warn(ignored_places_line(t.id, ignored));
    }
    if (!out.empty()) return out;
    for (auto& x : targets)
        for (auto& v : x.valid)
            if (!iequals(v, x.want)) {
                out.push_back({x.adapter, x.display_name, v});
                break;
            }
    return out;
}

std::string where(const std::string& adapter, const std::string& display_name) {
    return "adapter " + adapter + " " + display_name;
}

class NicHandler final : public KindHandler {
public:
    Kind kind() const override { return Kind::Nic; }
    std::string_view name() const override { return "nic"; }
    std::string_view data_field() const override { return name(); }  // the field is named after the kind

    std::unique_ptr<KindData> parse(const Json& field, const ParseContext& ctx) const override {
        ctx.table(field, data_field(), {"kw", "rx", "target"});
        auto d = std::make_unique<NicKindData>();
        d->kw = ctx.text(field, "kw", false);
        d->rx = ctx.text(field, "rx", false);
        d->target = ctx.text(field, "target", true);
        if (d->kw.empty() && d->rx.empty()) ctx.fail("a nic tweak needs kw or rx");
        try {
            if (!d->rx.empty()) d->rx_re = make_pattern(d->rx);
            if (d->target != "MAX") d->target_re = make_pattern(d->target);
        } catch (const std::regex_error& e) {
            ctx.fail(std::string("bad pattern: ") + e.what());
        }
        return d;
    }

    std::optional<std::string> unavailable(const Tweak& t, KindContext& ctx) const override {
        if (!ctx.nic.targets(t.data_as<NicKindData>()).empty()) return std::nullopt;
        return "Your network adapter does not have this setting.";
    }

    bool state(const Tweak& t, KindContext& ctx) const override {
        auto targets = ctx.nic.targets(t.data_as<NicKindData>());
        if (targets.empty()) return false;
        for (auto& x : targets)
            if (!iequals(x.current, x.want)) return false;
        return true;
    }

    void apply(const Tweak& t, KindContext& ctx) const override {
        Finally after{[&ctx] { ctx.nic.refresh(); }};
        std::vector<NicTarget> targets = ctx.nic.targets(t.data_as<NicKindData>());
        std::erase_if(targets, [](const NicTarget& x) { return iequals(x.current, x.want); });
        // Every value about to change is on disk before the first of them does.
        Json changed = Json::array();
        for (auto& x : targets) changed.push_back({{"A", x.adapter}, {"D", x.display_name}, {"V", x.current}});
        ctx.store.put_if_absent(t.id, std::move(changed));
        for (auto& x : targets) {
            ctx.nic_dirty = true;
            ctx.pf.network().set_adapter_property(x.adapter, x.display_name, x.want);
        }
        ctx.nic_dirty = true;
    }

    void revert(const Tweak& t, KindContext& ctx) const override {
        Finally after{[&ctx] {
            ctx.nic.refresh();
            ctx.nic_dirty = true;
        }};
        std::string failed;
        for (auto& w : revert_writes(t, ctx)) {
            try {
                ctx.pf.network().set_adapter_property(w.adapter, w.display_name, w.value);
            } catch (const std::exception& e) {
                // Property by property: the others still go back.
                if (failed.empty()) failed = e.what();
            }
        }
        // A value that did not go back keeps the record, so that nothing is lost.
        if (!failed.empty()) throw std::runtime_error(failed);
        ctx.store.remove(t.id);
    }

    std::optional<std::string> record_problem(const Tweak&, const Json& rec) const override {
        if (!rec.is_array()) return "not a list of adapter properties";
        for (auto& r : rec)
            if (!r.is_null() && (!r.is_object() || !r.contains("A") || !r.contains("D") || !r.contains("V") ||
                                 !r["A"].is_string() || !r["D"].is_string() || !r["V"].is_string()))
                return "an entry is not an adapter property with its value";
        return std::nullopt;
    }

    std::vector<PlannedChange> describe(const Tweak& t, KindContext& ctx, bool apply) const override {
        std::vector<PlannedChange> out;
        if (apply) {
            for (auto& x : ctx.nic.targets(t.data_as<NicKindData>()))
                if (!iequals(x.current, x.want)) out.push_back({where(x.adapter, x.display_name), x.current, x.want});
            return out;
        }
        for (auto& w : revert_writes(t, ctx)) {
            std::string now = "(not found)";
            for (auto& p : ctx.nic.properties())
                if (iequals(p.adapter, w.adapter) && iequals(p.display_name, w.display_name)) now = p.display_value;
            if (!iequals(now, w.value)) out.push_back({where(w.adapter, w.display_name), now, w.value});
        }
        return out;
    }
};

}  // namespace

const KindHandler& nic_handler() {
    static const NicHandler handler;
    return handler;
}

}  // namespace vexlo
