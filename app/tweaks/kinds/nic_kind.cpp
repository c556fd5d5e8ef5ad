#include "app/tweaks/kinds/nic_kind.h"

#include "app/core/backup_store.h"
#include "app/core/nic_cache.h"
#include "app/core/text.h"
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
    if (const Json* rec = ctx.store.get(t.id); rec && rec->is_array())
        for (auto& r : *rec)
            if (r.is_object() && r.contains("A") && r.contains("D") && r.contains("V"))
                out.push_back({value_text(r["A"]), value_text(r["D"]), value_text(r["V"])});
    if (!out.empty()) return out;
    for (auto& x : ctx.nic.targets(t.data_as<NicKindData>()))
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
        Json changed = Json::array();
        for (auto& x : ctx.nic.targets(t.data_as<NicKindData>())) {
            if (iequals(x.current, x.want)) continue;
            changed.push_back({{"A", x.adapter}, {"D", x.display_name}, {"V", x.current}});
            ctx.nic_dirty = true;
            ctx.pf.network().set_adapter_property(x.adapter, x.display_name, x.want);
        }
        ctx.store.put_if_absent(t.id, std::move(changed));
        ctx.nic_dirty = true;
    }

    void revert(const Tweak& t, KindContext& ctx) const override {
        Finally after{[&ctx] {
            ctx.nic.refresh();
            ctx.nic_dirty = true;
        }};
        for (auto& w : revert_writes(t, ctx)) {
            try {
                ctx.pf.network().set_adapter_property(w.adapter, w.display_name, w.value);
            } catch (...) {
                // Best effort, property by property: the next state test shows what stayed.
            }
        }
        ctx.store.remove(t.id);
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
