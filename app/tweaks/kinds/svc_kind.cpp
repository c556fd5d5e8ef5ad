#include "app/tweaks/kinds/svc_kind.h"

#include <algorithm>
#include <set>

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

std::vector<std::string> depends_on(Reg& reg, const std::string& service) {
    auto v = reg.get_raw(service_key(service), "DependOnService");
    if (!v || v->kind != platform::RegKind::MultiString) return {};
    return v->strings;
}

// The running services that stopping `name` stops with it: itself and, transitively, the running
// services that depend on it (Windows stops those first).
std::vector<std::string> stopped_with(KindContext& ctx, const std::string& name) {
    auto& services = ctx.pf.services();
    if (!services.is_running(name)) return {};
    std::vector<std::string> running;
    auto parsed = parse_reg_path(kSvcRoot);
    for (auto& s : ctx.reg.registry().subkey_names(parsed->hive, parsed->subkey))
        if (!iequals(s, name) && services.is_running(s)) running.push_back(s);
    std::vector<std::string> out{name};
    for (bool grew = true; grew;) {
        grew = false;
        for (auto& s : running) {
            if (std::any_of(out.begin(), out.end(), [&](auto& o) { return iequals(o, s); })) continue;
            for (auto& need : depends_on(ctx.reg, s)) {
                if (std::any_of(out.begin(), out.end(), [&](auto& o) { return iequals(o, need); })) {
                    out.push_back(s);
                    grew = true;
                    break;
                }
            }
        }
    }
    return out;
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
        backup_reg(ctx.store, t.id, {start}, ctx.reg);
        ctx.reg.set(start.p, start.n, d.s, platform::RegKind::DWord);
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
        restore_reg(ctx.store, t.id, {start}, ctx.reg);
        if (!is_automatic(ctx.reg.get(start.p, start.n))) return;
        try {
            ctx.pf.services().start(d.n);
        } catch (...) {
            // Starting is best effort: an automatic service starts with Windows anyway.
        }
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
        // The Start value as the restore leaves it decides whether the service is started.
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
        if (is_automatic(after))
            for (auto& s : started_with(ctx, d.n)) out.push_back({"service " + s, "stopped", "running"});
        return out;
    }
};

}  // namespace

const KindHandler& svc_handler() {
    static const SvcHandler handler;
    return handler;
}

}  // namespace vexlo
