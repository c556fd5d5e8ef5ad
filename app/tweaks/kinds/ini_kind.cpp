#include "app/tweaks/kinds/ini_kind.h"

#include <algorithm>

#include "app/core/backup_store.h"
#include "app/core/ini_file.h"
#include "app/core/text.h"
#include "app/tweaks/kinds/reg_backup.h"
#include "app/tweaks/parse_context.h"
#include "app/tweaks/tweak.h"

namespace vexlo {

namespace {

// One key written: a text, or (without one) the key line deleted.
struct IniWrite {
    std::string s, k;
    std::optional<std::string> v;
};

// What a revert writes: the recorded values, or without a record the fallbacks that are given.
std::vector<IniWrite> revert_writes(const Tweak& t, const BackupStore& store, int* ignored = nullptr) {
    std::vector<IniWrite> out;
    const auto& entries = t.data_as<IniData>().entries;
    if (const Json* rec = store.get(t.id)) {
        int skipped = 0;
        for (const Json* r : record_items(*rec)) {
            if (!r->is_object() || !r->contains("S") || !r->contains("K")) continue;
            std::string s = value_text((*r)["S"]), k = value_text((*r)["K"]);
            // Only the keys this tweak writes.
            auto e = std::find_if(entries.begin(), entries.end(),
                                  [&](const IniE& e) { return iequals(e.s, s) && iequals(e.k, k); });
            if (e == entries.end()) {
                ++skipped;
                continue;
            }
            std::optional<std::string> v;
            if (r->contains("V") && !(*r)["V"].is_null()) v = value_text((*r)["V"]);
            out.push_back({e->s, e->k, std::move(v)});
        }
        if (ignored) *ignored = skipped;
        return out;
    }
    for (const IniE& e : entries)
        if (e.o) out.push_back({e.s, e.k, e.o});
    return out;
}

void write(IniFile& ini, const IniWrite& w) {
    ini.set(w.s, w.k, w.v ? std::optional<std::string_view>(*w.v) : std::nullopt);
}

std::vector<PlannedChange> describe_writes(IniFile& ini, const std::vector<IniWrite>& writes) {
    std::vector<PlannedChange> out;
    for (const IniWrite& w : writes) {
        auto now = ini.get(w.s, w.k);
        if (now == w.v) continue;
        out.push_back({ini.path() + " [" + w.s + "] " + w.k, now.value_or("(not set)"), w.v.value_or("(deleted)")});
    }
    return out;
}

constexpr std::string_view kIniKeys[] = {"s", "k", "v", "o"};

class IniHandler final : public KindHandler {
public:
    Kind kind() const override { return Kind::Ini; }
    std::string_view name() const override { return "ini"; }
    std::string_view data_field() const override { return name(); }  // the field is named after the kind

    std::unique_ptr<KindData> parse(const Json& field, const ParseContext& ctx) const override {
        if (!field.is_array() || field.empty()) ctx.fail("an ini tweak needs a non-empty ini list");
        auto d = std::make_unique<IniData>();
        for (auto& item : field) {
            if (!item.is_object()) ctx.fail("each ini item must be a table { s, k, v, o }");
            for (auto& [key, v] : item.items())
                if (std::find(std::begin(kIniKeys), std::end(kIniKeys), key) == std::end(kIniKeys))
                    ctx.fail("unknown ini field '" + key + "'");
            IniE e;
            e.s = ctx.text(item, "s", true);
            e.k = ctx.text(item, "k", true);
            auto v = item.find("v");
            if (v == item.end() || !v->is_string()) ctx.fail("ini value v must be text");
            e.v = ctx.substitute(v->get<std::string>());
            if (auto o = item.find("o"); o != item.end()) {
                if (!o->is_string()) ctx.fail("ini fallback o must be text");
                e.o = ctx.substitute(o->get<std::string>());
            }
            d->entries.push_back(std::move(e));
        }
        return d;
    }

    bool state(const Tweak& t, KindContext& ctx) const override {
        for (const IniE& e : t.data_as<IniData>().entries)
            if (!ini_equal(ctx.ini.get(e.s, e.k), e.v)) return false;
        return true;
    }

    void apply(const Tweak& t, KindContext& ctx) const override {
        const auto& entries = t.data_as<IniData>().entries;
        try {
            ctx.ini.backup_once();
        } catch (const std::exception& e) {
            throw BackupError(std::string("The original settings file could not be saved, so nothing was changed (") +
                              e.what() + ")");
        }
        if (!ctx.store.has(t.id)) {
            Json rec = Json::array();
            for (const IniE& e : entries) {
                auto cur = ctx.ini.get(e.s, e.k);
                rec.push_back({{"S", e.s}, {"K", e.k}, {"V", cur ? Json(*cur) : Json(nullptr)}});
            }
            ctx.store.put_if_absent(t.id, std::move(rec));
        }
        for (const IniE& e : entries) ctx.ini.set(e.s, e.k, std::string_view(e.v));
    }

    void revert(const Tweak& t, KindContext& ctx) const override {
        int ignored = 0;
        auto writes = revert_writes(t, ctx.store, &ignored);
        if (ignored > 0 && ctx.warn) ctx.warn(ignored_places_line(t.id, ignored));
        for (const IniWrite& w : writes) write(ctx.ini, w);
        ctx.store.remove(t.id);
    }

    std::optional<std::string> record_problem(const Tweak&, const Json& rec) const override {
        if (!rec.is_array()) return "not a list of settings-file keys";
        for (auto& r : rec)
            if (!r.is_null() && (!r.is_object() || !r.contains("S") || !r.contains("K") || !r["S"].is_string() ||
                                 !r["K"].is_string() || (r.contains("V") && !r["V"].is_null() && !r["V"].is_string())))
                return "an entry is not a section, key and value";
        return std::nullopt;
    }

    std::vector<PlannedChange> describe(const Tweak& t, KindContext& ctx, bool apply) const override {
        if (!apply) return describe_writes(ctx.ini, revert_writes(t, ctx.store));
        std::vector<IniWrite> writes;
        for (const IniE& e : t.data_as<IniData>().entries) writes.push_back({e.s, e.k, e.v});
        return describe_writes(ctx.ini, writes);
    }
};

}  // namespace

const KindHandler& ini_handler() {
    static const IniHandler handler;
    return handler;
}

}  // namespace vexlo
