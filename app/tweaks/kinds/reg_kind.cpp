#include "app/tweaks/kinds/reg_kind.h"

#include <algorithm>

#include "app/core/text.h"
#include "app/tweaks/parse_context.h"
#include "app/tweaks/tweak.h"

namespace vexlo {

namespace {

constexpr std::string_view kRegKeys[] = {"p", "n", "v", "t", "o"};

RegE parse_entry(const Json& item, const ParseContext& ctx) {
    if (!item.is_object()) ctx.fail("each reg item must be a table { p, n, v, t, o }");
    for (auto& [k, v] : item.items())
        if (std::find(std::begin(kRegKeys), std::end(kRegKeys), k) == std::end(kRegKeys))
            ctx.fail("unknown reg field '" + k + "'");
    RegE e;
    e.p = ctx.text(item, "p", true);
    if (!parse_reg_path(e.p)) ctx.fail("key '" + e.p + "' must begin with HKCU:\\ or HKLM:\\");
    auto n = item.find("n");
    if (n == item.end() || !n->is_string()) ctx.fail("value name n must be text");
    e.n = n->get<std::string>();
    if (auto tk = item.find("t"); tk != item.end()) {
        if (!tk->is_string()) ctx.fail("kind t must be text");
        auto kind = parse_reg_kind(tk->get<std::string>());
        if (!kind)
            ctx.fail("value kind '" + tk->get<std::string>() +
                     "' is not one of DWord, QWord, String, ExpandString, MultiString, Binary");
        e.t = *kind;
    }
    auto v = item.find("v");
    if (v == item.end()) ctx.fail("missing value v for " + e.n);
    e.v = *v;
    try {
        (void)to_reg_value(e.v, e.t);
    } catch (const std::exception& ex) {
        ctx.fail("value v of " + e.n + " does not fit " + reg_kind_name(e.t) + ": " + ex.what());
    }
    if (auto o = item.find("o"); o != item.end()) {
        e.o = *o;
        if (!e.deletes_on_fallback()) {
            try {
                (void)to_reg_value(e.o, e.t);
            } catch (const std::exception& ex) {
                ctx.fail("fallback o of " + e.n + " does not fit " + reg_kind_name(e.t) + ": " + ex.what());
            }
        }
    }
    return e;
}

class RegHandler final : public KindHandler {
public:
    Kind kind() const override { return Kind::Reg; }
    std::string_view name() const override { return "reg"; }
    std::string_view data_field() const override { return name(); }  // the field is named after the kind

    std::unique_ptr<KindData> parse(const Json& field, const ParseContext& ctx) const override {
        if (!field.is_array() || field.empty()) ctx.fail("a reg tweak needs a non-empty reg list");
        auto d = std::make_unique<RegData>();
        for (auto& item : field) d->entries.push_back(parse_entry(item, ctx));
        return d;
    }

    bool state(const Tweak& t, KindContext& ctx) const override {
        // The kind is not compared: a DWORD reads back as a signed number, so 0xFFFFFFFF is -1.
        for (const RegE& e : t.data_as<RegData>().entries)
            if (!iequals(value_text(ctx.reg.get(e.p, e.n)), value_text(e.v))) return false;
        return true;
    }

    void apply(const Tweak& t, KindContext& ctx) const override {
        const auto& entries = t.data_as<RegData>().entries;
        backup_reg(ctx.store, t.id, entries, ctx.reg);
        for (const RegE& e : entries) ctx.reg.set(e.p, e.n, e.v, e.t);
    }

    void revert(const Tweak& t, KindContext& ctx) const override {
        restore_reg(ctx.store, t.id, t.data_as<RegData>().entries, ctx.reg, ctx.warn);
    }

    std::optional<std::string> record_problem(const Tweak&, const Json& rec) const override {
        return reg_record_problem(rec);
    }

    std::vector<PlannedChange> describe(const Tweak& t, KindContext& ctx, bool apply) const override {
        const auto& entries = t.data_as<RegData>().entries;
        return describe_reg_writes(ctx.reg, apply ? apply_writes(entries) : restore_writes(ctx.store, t.id, entries));
    }
};

}  // namespace

const KindHandler& reg_handler() {
    static const RegHandler handler;
    return handler;
}

}  // namespace vexlo
