#include "app/tweaks/engine.h"

#include <stdexcept>

#include "app/core/text.h"

namespace vexlo {

namespace {
constexpr const char* kNotSupported = "Not supported on this PC.";
}

bool Engine::test_kind(Tweak& t) {
    switch (t.kind) {
        case Kind::Reg:
            for (const RegE& e : t.reg) {
                Json cur = reg_.get(e.p, e.n);
                if (!iequals(value_text(cur), value_text(e.v))) return false;
            }
            return true;
        case Kind::Custom:
            return t.check && t.check();
        default:
            return false;
    }
}

void Engine::test_available(Tweak& t) {
    bool ok = true;
    std::string reason = kNotSupported;
    // Kinds with a system-side precondition add theirs here as they arrive.
    if (ok && t.avail) {
        bool pass = false;
        try {
            pass = t.avail();
        } catch (...) {
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

void Engine::apply_kind(Tweak& t) {
    switch (t.kind) {
        case Kind::Reg:
            store_.backup_reg(t.id, t.reg, reg_);
            for (const RegE& e : t.reg) reg_.set(e.p, e.n, e.v, e.t);
            return;
        case Kind::Custom:
            if (!t.apply) throw std::runtime_error("This tweak has no apply operation.");
            t.apply();
            return;
        default:
            throw std::runtime_error("This kind of tweak cannot be applied in this version.");
    }
}

void Engine::revert_kind(Tweak& t) {
    switch (t.kind) {
        case Kind::Reg:
            store_.restore_reg(t.id, t.reg, reg_);
            return;
        case Kind::Custom:
            if (!t.revert) throw std::runtime_error("This tweak has no revert operation.");
            t.revert();
            return;
        default:
            throw std::runtime_error("This kind of tweak cannot be reverted in this version.");
    }
}

void Engine::sync_state(Tweak& t) {
    try {
        t.state = test_kind(t);
    } catch (...) {
        t.state = false;
    }
}

void Engine::full_state_pass(Catalog& cat, const std::function<void(size_t, size_t)>& progress) {
    const size_t n = cat.tweaks.size();
    for (size_t i = 0; i < n; ++i) {
        Tweak& t = *cat.tweaks[i];
        test_available(t);
        if (t.available)
            sync_state(t);
        else
            t.state = false;
        if (progress) progress(i + 1, n);
    }
}

}  // namespace vexlo
