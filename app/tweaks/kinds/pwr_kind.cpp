#include "app/tweaks/kinds/pwr_kind.h"

#include <cctype>

#include "app/core/backup_store.h"
#include "app/tweaks/parse_context.h"
#include "app/tweaks/tweak.h"
#include "platform/platform.h"

namespace vexlo {

namespace {

bool valid_guid(std::string_view g) {
    static constexpr int groups[] = {8, 4, 4, 4, 12};
    size_t pos = 0;
    for (int gi = 0; gi < 5; ++gi) {
        for (int i = 0; i < groups[gi]; ++i, ++pos)
            if (pos >= g.size() || !std::isxdigit(static_cast<unsigned char>(g[pos]))) return false;
        if (gi < 4 && (pos >= g.size() || g[pos++] != '-')) return false;
    }
    return pos == g.size();
}

// The index a revert sets: the recorded one, unless there is none or it is the on-value itself.
int32_t revert_value(const PwrData& d, const BackupStore& store, std::string_view id) {
    int32_t value = d.def;
    if (const Json* rec = store.get(id); rec && rec->is_object() && rec->contains("V") && (*rec)["V"].is_number_integer())
        value = int32_t((*rec)["V"].get<int64_t>());
    if (value == d.v) value = d.def;
    return value;
}

PlannedChange index_change(const PwrData& d, KindContext& ctx, std::optional<int32_t> now, int32_t next) {
    auto plan = ctx.pf.power().active_plan();
    return {"power setting " + d.set + " of plan " + (plan ? plan->name : std::string("(none)")) + " (plugged in)",
            now ? std::to_string(*now) : std::string("(not set)"), std::to_string(next)};
}

class PwrHandler final : public KindHandler {
public:
    Kind kind() const override { return Kind::Pwr; }
    std::string_view name() const override { return "pwr"; }
    std::string_view data_field() const override { return name(); }  // the field is named after the kind

    std::unique_ptr<KindData> parse(const Json& field, const ParseContext& ctx) const override {
        ctx.table(field, data_field(), {"sub", "set", "v", "def"});
        auto d = std::make_unique<PwrData>();
        d->sub = ctx.text(field, "sub", true);
        d->set = ctx.text(field, "set", true);
        for (auto* g : {&d->sub, &d->set})
            if (!valid_guid(*g)) ctx.fail("'" + *g + "' is not a GUID");
        d->v = int32_t(ctx.whole(field, "v", name()));
        d->def = int32_t(ctx.whole(field, "def", name()));
        return d;
    }

    std::optional<std::string> unavailable(const Tweak& t, KindContext& ctx) const override {
        const auto& d = t.data_as<PwrData>();
        if (ctx.pf.power().ac_index(d.sub, d.set)) return std::nullopt;
        return "Your power plan does not expose this setting.";
    }

    bool state(const Tweak& t, KindContext& ctx) const override {
        const auto& d = t.data_as<PwrData>();
        auto v = ctx.pf.power().ac_index(d.sub, d.set);
        return v && *v == d.v;
    }

    void apply(const Tweak& t, KindContext& ctx) const override {
        const auto& d = t.data_as<PwrData>();
        if (!ctx.store.has(t.id)) {
            auto v = ctx.pf.power().ac_index(d.sub, d.set);
            ctx.store.put_if_absent(t.id, Json{{"V", v ? Json(*v) : Json(nullptr)}});
        }
        ctx.pf.power().set_ac_index(d.sub, d.set, d.v);
    }

    void revert(const Tweak& t, KindContext& ctx) const override {
        const auto& d = t.data_as<PwrData>();
        ctx.pf.power().set_ac_index(d.sub, d.set, revert_value(d, ctx.store, t.id));
        ctx.store.remove(t.id);
    }

    std::vector<PlannedChange> describe(const Tweak& t, KindContext& ctx, bool apply) const override {
        const auto& d = t.data_as<PwrData>();
        const int32_t next = apply ? d.v : revert_value(d, ctx.store, t.id);
        auto now = ctx.pf.power().ac_index(d.sub, d.set);
        if (now && *now == next) return {};
        return {index_change(d, ctx, now, next)};
    }
};

}  // namespace

const KindHandler& pwr_handler() {
    static const PwrHandler handler;
    return handler;
}

}  // namespace vexlo
