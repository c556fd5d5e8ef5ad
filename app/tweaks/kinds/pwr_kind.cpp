#include "app/tweaks/kinds/pwr_kind.h"

#include <algorithm>
#include <cctype>
#include <stdexcept>

#include "app/core/backup_store.h"
#include "app/core/text.h"
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

// One value a revert puts back: the index into the plan it was read from.
struct PlanValue {
    std::string plan;  // empty: the active plan (a record from before plans were named)
    int32_t value = 0;
};

std::optional<int32_t> recorded_index(const Json& r) {
    if (r.contains("V") && r["V"].is_number_integer()) return int32_t(r["V"].get<int64_t>());
    return std::nullopt;
}

// What a revert sets, plan by plan: the recorded index, unless there is none or it is the
// on-value itself, then the fallback. Without a record, the fallback into the active plan.
// Plans that no longer exist have nothing to put back.
std::vector<PlanValue> revert_values(const PwrData& d, KindContext& ctx, std::string_view id) {
    auto chosen = [&](std::optional<int32_t> v) { return !v || *v == d.v ? d.def : *v; };
    const Json* rec = ctx.store.get(id);
    if (!rec || !rec->is_object()) return {{"", d.def}};
    std::vector<PlanValue> out;
    if (!rec->contains("Plan") || !(*rec)["Plan"].is_string()) return {{"", chosen(recorded_index(*rec))}};
    std::vector<platform::PowerPlan> plans = ctx.pf.power().plans();
    auto add = [&](const Json& r) {
        if (!r.is_object() || !r.contains("Plan") || !r["Plan"].is_string()) return;
        std::string plan = r["Plan"].get<std::string>();
        if (std::none_of(plans.begin(), plans.end(), [&](auto& p) { return iequals(p.guid, plan); })) return;
        out.push_back({plan, chosen(recorded_index(r))});
    };
    add(*rec);
    if (auto also = rec->find("Also"); also != rec->end() && also->is_array())
        for (auto& r : *also) add(r);
    return out;
}

bool names_plan(const Json& rec, const std::string& guid) {
    if (rec.contains("Plan") && rec["Plan"].is_string() && iequals(rec["Plan"].get<std::string>(), guid)) return true;
    if (auto also = rec.find("Also"); also != rec.end() && also->is_array())
        for (auto& r : *also)
            if (r.is_object() && r.contains("Plan") && r["Plan"].is_string() && iequals(r["Plan"].get<std::string>(), guid))
                return true;
    return false;
}

std::string plan_label(KindContext& ctx, const std::string& guid) {
    if (guid.empty()) {
        auto plan = ctx.pf.power().active_plan();
        return plan ? plan->name : std::string("(none)");
    }
    for (auto& p : ctx.pf.power().plans())
        if (iequals(p.guid, guid)) return p.name;
    return guid;
}

std::optional<int32_t> read_index(KindContext& ctx, const PwrData& d, const std::string& plan) {
    return plan.empty() ? ctx.pf.power().ac_index(d.sub, d.set) : ctx.pf.power().plan_ac_index(plan, d.sub, d.set);
}

PlannedChange index_change(const PwrData& d, KindContext& ctx, const std::string& plan, std::optional<int32_t> now,
                           int32_t next) {
    return {"power setting " + d.set + " of plan " + plan_label(ctx, plan) + " (plugged in)",
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
        auto active = ctx.pf.power().active_plan();
        if (!active) throw std::runtime_error("There is no active power plan.");
        auto v = ctx.pf.power().plan_ac_index(active->guid, d.sub, d.set);
        Json now = v ? Json(*v) : Json(nullptr);
        // The record names the plan each value was read from, so the revert puts it back there
        // whatever plan is active by then; a plan first changed after the record was made is
        // added to it, before its value changes.
        if (const Json* rec = ctx.store.get(t.id)) {
            if (rec->is_object() && rec->contains("Plan") && !names_plan(*rec, active->guid)) {
                Json more = *rec;
                if (!more.contains("Also") || !more["Also"].is_array()) more["Also"] = Json::array();
                more["Also"].push_back({{"Plan", active->guid}, {"V", now}});
                ctx.store.put(t.id, std::move(more));
            }
        } else {
            ctx.store.put_if_absent(t.id, Json{{"V", now}, {"Plan", active->guid}});
        }
        ctx.pf.power().set_plan_ac_index(active->guid, d.sub, d.set, d.v);
    }

    void revert(const Tweak& t, KindContext& ctx) const override {
        const auto& d = t.data_as<PwrData>();
        for (auto& pv : revert_values(d, ctx, t.id)) {
            if (pv.plan.empty())
                ctx.pf.power().set_ac_index(d.sub, d.set, pv.value);
            else
                ctx.pf.power().set_plan_ac_index(pv.plan, d.sub, d.set, pv.value);
        }
        ctx.store.remove(t.id);
    }

    std::optional<std::string> record_problem(const Tweak&, const Json& rec) const override {
        auto value_ok = [](const Json& r) { return !r.contains("V") || r["V"].is_null() || r["V"].is_number_integer(); };
        if (!rec.is_object() || !value_ok(rec)) return "not an object with a power index V";
        if (rec.contains("Plan") && !rec["Plan"].is_string()) return "its Plan is not text";
        if (auto also = rec.find("Also"); also != rec.end()) {
            if (!also->is_array()) return "its Also is not a list";
            for (auto& r : *also)
                if (!r.is_object() || !r.contains("Plan") || !r["Plan"].is_string() || !value_ok(r))
                    return "an entry of Also is not a plan with a power index";
        }
        return std::nullopt;
    }

    std::vector<PlannedChange> describe(const Tweak& t, KindContext& ctx, bool apply) const override {
        const auto& d = t.data_as<PwrData>();
        std::vector<PlannedChange> out;
        if (apply) {
            auto now = ctx.pf.power().ac_index(d.sub, d.set);
            if (!(now && *now == d.v)) out.push_back(index_change(d, ctx, "", now, d.v));
            return out;
        }
        for (auto& pv : revert_values(d, ctx, t.id)) {
            auto now = read_index(ctx, d, pv.plan);
            if (!(now && *now == pv.value)) out.push_back(index_change(d, ctx, pv.plan, now, pv.value));
        }
        return out;
    }
};

}  // namespace

const KindHandler& pwr_handler() {
    static const PwrHandler handler;
    return handler;
}

}  // namespace vexlo
