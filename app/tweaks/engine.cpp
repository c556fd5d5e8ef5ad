#include "app/tweaks/engine.h"

#include "app/tweaks/scope_exit.h"

namespace vexlo {

namespace {
constexpr const char* kNotSupported = "Not supported on this PC.";
}  // namespace

Engine::Engine(Reg& reg, BackupStore& store, platform::Platform& pf, IniFile& ini)
    : nic_(pf.network()), dev_(pf.devices()), ctx_{reg, store, pf, ini, nic_, dev_, nic_dirty, nullptr} {}

void Engine::refresh_caches() {
    nic_.refresh();
    dev_.refresh();
}

bool Engine::test_kind(Tweak& t) { return kind_handler(t.kind).state(t, ctx_); }

void Engine::test_available(Tweak& t) {
    bool ok = true;
    std::string reason = kNotSupported;
    try {
        if (auto why = kind_handler(t.kind).unavailable(t, ctx_)) {
            ok = false;
            reason = std::move(*why);
        }
    } catch (...) {
        // A query that fails means this PC cannot offer the tweak; the general reason stays.
        ok = false;
    }
    if (ok && t.avail) {
        bool pass = false;
        try {
            pass = t.avail();
        } catch (...) {
            // A predicate that raises counts as "no", with the tweak's own reason.
            pass = false;
        }
        if (!pass) {
            ok = false;
            if (!t.why.empty()) reason = t.why;
        }
    }
    t.available = ok;
    t.reason = ok ? std::string() : reason;
}

void Engine::apply_kind(Tweak& t) { kind_handler(t.kind).apply(t, ctx_); }

void Engine::revert_kind(Tweak& t) { kind_handler(t.kind).revert(t, ctx_); }

std::vector<PlannedChange> Engine::describe(const Tweak& t, bool apply) {
    return kind_handler(t.kind).describe(t, ctx_, apply);
}

void Engine::sync_state(Tweak& t) {
    try {
        t.state = test_kind(t);
    } catch (...) {
        // A state that cannot be read shows as off, so the user can apply the tweak again.
        t.state = false;
    }
    t.recorded = recorded(t);
}

bool Engine::recorded(const Tweak& t) {
    try {
        return kind_handler(t.kind).recorded(t, ctx_);
    } catch (...) {
        // A mark that cannot be read is no mark: the record-keeping kinds never raise here.
        return false;
    }
}

std::vector<std::pair<std::string, std::string>> Engine::misshapen_records(const Catalog& cat) const {
    std::vector<std::pair<std::string, std::string>> out;
    for (auto& t : cat.tweaks)
        if (const Json* rec = ctx_.store.get(t->id))
            if (auto why = kind_handler(t->kind).record_problem(*t, *rec)) out.emplace_back(t->id, *why);
    return out;
}

void Engine::full_state_pass(Catalog& cat, const std::function<void(size_t, size_t)>& progress) {
    try {
        task_cache_ = list_task_states(ctx_.pf.tasks());
    } catch (...) {
        // Without a listing every task tweak shows as missing for this pass.
        task_cache_.clear();
    }
    ctx_.task_cache = &task_cache_;
    Finally drop{[this] {
        ctx_.task_cache = nullptr;
        task_cache_.clear();
    }};
    const size_t n = cat.tweaks.size();
    for (size_t i = 0; i < n; ++i) {
        Tweak& t = *cat.tweaks[i];
        test_available(t);
        if (t.available) {
            sync_state(t);
        } else {
            t.state = false;
            t.recorded = recorded(t);
        }
        if (progress) progress(i + 1, n);
    }
}

}  // namespace vexlo
