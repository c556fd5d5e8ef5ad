#include "app/tweaks/kinds/svc_kind.h"

#include <algorithm>
#include <optional>
#include <set>
#include <stdexcept>

#include "app/core/text.h"
#include "app/tweaks/kinds/reg_backup.h"
#include "app/tweaks/parse_context.h"
#include "app/tweaks/tweak.h"
#include "platform/platform.h"

namespace vexlo {

namespace {

std::string service_key(const std::string& name) { return std::string(kSvcRoot) + "\\" + name; }

// Without a backup the revert sets "on demand" (3).
RegE start_entry(const SvcData& d) { return RegE{service_key(d.n), "Start", d.s, platform::RegKind::DWord, 3}; }

bool is_automatic(const Json& start) { return start.is_number_integer() && start.get<int64_t>() == 2; }

// Puts a start type in place through the service manager, which writes the Start value too.
// The manager reads the Start values only when Windows starts: a value written alone would let
// a disabled service be started until then, and after a restart leave a service the revert
// re-enabled refused as disabled. Only where the manager refuses (or the write is none it
// takes: a deletion, another type) does the Start value get written alone, to count from the
// next restart.
void put_start(KindContext& ctx, const std::string& service, const RegWrite& w) {
    std::optional<uint32_t> start;
    if (w.v && w.t == platform::RegKind::DWord) {
        try {
            auto v = to_reg_value(*w.v, w.t);
            if (uint32_t(v.number) <= 4) start = uint32_t(v.number);
        } catch (const std::invalid_argument&) {
            // Not a DWORD: the registry write below refuses it with the reason.
        }
    }
    if (start) {
        try {
            ctx.pf.services().set_start_type(service, *start);
            return;
        } catch (const platform::PlatformError& e) {
            if (ctx.warn)
                ctx.warn("The service manager did not take the start type of " + service + " (" + e.what() +
                         "); its Start value is written instead and counts from the next restart of Windows.");
        }
    }
    write_reg(ctx.reg, w);
}

std::vector<std::string> depends_on(Reg& reg, const std::string& service) {
    auto v = reg.get_raw(service_key(service), "DependOnService");
    if (!v || v->kind != platform::RegKind::MultiString) return {};
    return v->strings;
}

// `name` and, transitively, those of `candidates` that depend on it, in the order found.
std::vector<std::string> with_dependents(KindContext& ctx, const std::string& name,
                                         const std::vector<std::string>& candidates) {
    std::vector<std::string> out{name};
    auto listed = [&](const std::string& s) {
        return std::any_of(out.begin(), out.end(), [&](auto& o) { return iequals(o, s); });
    };
    for (bool grew = true; grew;) {
        grew = false;
        for (auto& s : candidates) {
            if (listed(s)) continue;
            for (auto& need : depends_on(ctx.reg, s))
                if (listed(need)) {
                    out.push_back(s);
                    grew = true;
                    break;
                }
        }
    }
    return out;
}

std::vector<std::string> installed_services(KindContext& ctx) {
    auto parsed = parse_reg_path(kSvcRoot);
    return ctx.reg.registry().subkey_names(parsed->hive, parsed->subkey);
}

// The running services that stopping `name` stops with it: itself and, transitively, the running
// services that depend on it (Windows stops those first).
std::vector<std::string> stopped_with(KindContext& ctx, const std::string& name) {
    auto& services = ctx.pf.services();
    if (!services.is_running(name)) return {};
    std::vector<std::string> running;
    for (auto& s : installed_services(ctx))
        if (!iequals(s, name) && services.is_running(s)) running.push_back(s);
    return with_dependents(ctx, name, running);
}

// The installed services that starting `name` starts: the ones it needs, transitively, that are
// not running, and itself.
std::vector<std::string> started_with(KindContext& ctx, const std::string& name) {
    std::vector<std::string> out;
    std::set<std::string> seen;
    auto visit = [&](auto&& self, const std::string& s) -> void {
        if (!seen.insert(to_lower(s)).second || !ctx.reg.key_exists(service_key(s)) || ctx.pf.services().is_running(s))
            return;
        for (auto& need : depends_on(ctx.reg, s)) self(self, need);
        out.push_back(s);
    };
    visit(visit, name);
    return out;
}

// Every installed service that needs `name`, directly or through others: the only services a
// revert may start besides the tweak's own.
std::vector<std::string> dependents_of(KindContext& ctx, const std::string& name) {
    auto out = with_dependents(ctx, name, installed_services(ctx));
    out.erase(out.begin());
    return out;
}

// The services that were running when the tweak stopped them, as its record keeps them (the
// tweak's own service first), limited to the service and those that need it; nullopt for a
// record from before running states were kept.
std::optional<std::vector<std::string>> recorded_running(KindContext& ctx, const SvcData& d, std::string_view id) {
    const Json* rec = ctx.store.get(id);
    if (!rec) return std::nullopt;
    const Json* running = nullptr;
    for (const Json* r : record_items(*rec))
        if (r->is_object() && r->contains("R") && (*r)["R"].is_array()) running = &(*r)["R"];
    if (!running) return std::nullopt;
    std::vector<std::string> out;
    std::vector<std::string> allowed;
    bool allowed_read = false;
    for (auto& name : *running) {
        if (!name.is_string()) continue;
        std::string s = name.get<std::string>();
        if (!iequals(s, d.n)) {
            if (!allowed_read) {
                allowed = dependents_of(ctx, d.n);
                allowed_read = true;
            }
            if (!std::any_of(allowed.begin(), allowed.end(), [&](auto& a) { return iequals(a, s); })) {
                if (ctx.warn) ctx.warn(ignored_places_line(id, 1));
                continue;
            }
        }
        out.push_back(s);
    }
    return out;
}

// The services a revert starts: with a record of what ran, those of them that are stopped now;
// without one, the service when its restored start type is automatic (and what it needs).
std::vector<std::string> to_start(KindContext& ctx, const SvcData& d, std::string_view id, const Json& start_after) {
    if (auto running = recorded_running(ctx, d, id)) {
        std::vector<std::string> out;
        for (auto& s : *running)
            for (auto& x : started_with(ctx, s))
                if (!std::any_of(out.begin(), out.end(), [&](auto& o) { return iequals(o, x); })) out.push_back(x);
        return out;
    }
    if (!is_automatic(start_after)) return {};
    return started_with(ctx, d.n);
}

class SvcHandler final : public KindHandler {
public:
    Kind kind() const override { return Kind::Svc; }
    std::string_view name() const override { return "svc"; }
    std::string_view data_field() const override { return name(); }  // the field is named after the kind

    std::unique_ptr<KindData> parse(const Json& field, const ParseContext& ctx) const override {
        ctx.table(field, data_field(), {"n", "s"});
        auto d = std::make_unique<SvcData>();
        d->n = ctx.text(field, "n", true);
        if (d->n.find('\\') != std::string::npos) ctx.fail("service name must not contain a backslash");
        d->s = int(ctx.whole(field, "s", name()));
        if (d->s < 2 || d->s > 4) ctx.fail("service start type must be 2, 3 or 4");
        return d;
    }

    std::optional<std::string> unavailable(const Tweak& t, KindContext& ctx) const override {
        if (ctx.reg.key_exists(service_key(t.data_as<SvcData>().n))) return std::nullopt;
        return "This service is not installed on your PC.";
    }

    bool state(const Tweak& t, KindContext& ctx) const override {
        const auto& d = t.data_as<SvcData>();
        Json start = ctx.reg.get(service_key(d.n), "Start");
        return start.is_number_integer() && start.get<int64_t>() == d.s;
    }

    void apply(const Tweak& t, KindContext& ctx) const override {
        const auto& d = t.data_as<SvcData>();
        RegE start = start_entry(d);
        if (!ctx.store.has(t.id)) {
            // The running services a disable stops are kept with the start type, so that the
            // revert starts exactly those again and no other.
            Json list = Json::array();
            backup_reg_into(list, {start}, ctx.reg);
            Json running = Json::array();
            if (d.s == 4)
                for (auto& s : stopped_with(ctx, d.n)) running.push_back(s);
            else if (ctx.pf.services().is_running(d.n))
                running.push_back(d.n);
            list[0]["R"] = std::move(running);
            ctx.store.put_if_absent(t.id, std::move(list));
        }
        put_start(ctx, d.n, RegWrite{start.p, start.n, Json(d.s), platform::RegKind::DWord});
        if (d.s != 4) return;
        try {
            ctx.pf.services().stop(d.n);
        } catch (...) {
            // Stopping is best effort: the service is disabled and stays off after the next
            // restart; the start type is what the state test reads.
        }
    }

    void revert(const Tweak& t, KindContext& ctx) const override {
        const auto& d = t.data_as<SvcData>();
        RegE start = start_entry(d);
        // A service uninstalled since has nothing to put back; writing its Start value would
        // make a key for a service that does not exist.
        if (!ctx.reg.key_exists(start.p)) {
            ctx.store.remove(t.id);
            return;
        }
        int ignored = 0;
        for (const RegWrite& w : restore_writes(ctx.store, t.id, {start}, &ignored)) {
            if (same_place(start, w.p, w.n)) put_start(ctx, d.n, w);
            else write_reg(ctx.reg, w);
        }
        if (ignored > 0 && ctx.warn) ctx.warn(ignored_places_line(t.id, ignored));
        for (auto& s : to_start(ctx, d, t.id, ctx.reg.get(start.p, start.n))) {
            try {
                ctx.pf.services().start(s);
            } catch (const std::exception& e) {
                // The start type is back, which is what lasts; a start Windows refuses now
                // happens with the next restart of an automatic service.
                if (ctx.warn) ctx.warn("Could not start the service " + s + ": " + e.what());
            }
        }
        // Only now: a kill before this point leaves the record, and the revert runs again.
        ctx.store.remove(t.id);
    }

    std::optional<std::string> record_problem(const Tweak&, const Json& rec) const override {
        return reg_record_problem(rec);
    }

    std::vector<PlannedChange> describe(const Tweak& t, KindContext& ctx, bool apply) const override {
        const auto& d = t.data_as<SvcData>();
        RegE start = start_entry(d);
        if (apply) {
            auto out = describe_reg_writes(ctx.reg, apply_writes({start}));
            if (d.s == 4)
                for (auto& s : stopped_with(ctx, d.n)) out.push_back({"service " + s, "running", "stopped"});
            return out;
        }
        auto writes = restore_writes(ctx.store, t.id, {start});
        auto out = describe_reg_writes(ctx.reg, writes);
        // The Start value as the restore leaves it decides whether the service is started
        // when the record does not say what was running.
        Json after = ctx.reg.get(start.p, start.n);
        for (auto& w : writes) {
            if (!iequals(w.n, start.n) || !iequals(w.p, start.p)) continue;
            after = nullptr;
            if (w.v) {
                try {
                    after = raw_json(to_reg_value(*w.v, w.t));
                } catch (const std::invalid_argument&) {
                    // Such a write fails, and the revert with it, before any service is started.
                }
            }
        }
        KindContext quiet = ctx;
        quiet.warn = nullptr;
        for (auto& s : to_start(quiet, d, t.id, after)) out.push_back({"service " + s, "stopped", "running"});
        return out;
    }
};

}  // namespace

const KindHandler& svc_handler() {
    static const SvcHandler handler;
    return handler;
}

}  // namespace vexlo
