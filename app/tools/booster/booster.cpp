#include "app/tools/booster/booster.h"

#include <algorithm>
#include <exception>

#include "app/core/booster_options.h"
#include "app/core/system_facts.h"

namespace vexlo::booster {

double free_memory_limit(int ram_gb) {
    const double tenth = double(std::max(ram_gb, 0)) * double(kGiB) * 0.1;
    return std::max(double(kGiB), tenth);
}

std::string timer_text(uint32_t units) {
    // Whole microseconds, halves away from zero, then up to three decimals of milliseconds
    // without trailing zeros: 5000 -> "0.5", 10000 -> "1", 156250 -> "15.625".
    const uint64_t us = (uint64_t(units) + 5) / 10;
    std::string out = std::to_string(us / 1000);
    if (uint64_t frac = us % 1000; frac != 0) {
        std::string f = std::to_string(frac);
        f.insert(0, 3 - f.size(), '0');
        while (f.back() == '0') f.pop_back();
        out += "." + f;
    }
    return out + " ms";
}

std::string_view process_stem(std::string_view image) {
    size_t dot = image.rfind('.');
    return dot == std::string_view::npos || dot == 0 ? image : image.substr(0, dot);
}

BoosterModule::BoosterModule() = default;
BoosterModule::~BoosterModule() = default;

Reg& BoosterModule::settings() { return ctx_->settings; }
platform::Platform& BoosterModule::pf() { return ctx_->pf; }

void BoosterModule::build_page(ui::Element& host) { host_ = &host; }

void BoosterModule::start(ModuleContext& ctx) {
    ctx_.emplace(ctx);
    stopped_ = false;
    ok_ = pf().performance().booster_available();
    ram_gb_ = whole_gib(pf().system().total_memory_bytes());
    actions_ = ctx.actions ? ctx.actions : &own_actions_;
    mend_startup_task();
    add_purge_action();
    if (host_) build_booster_page();
    ctx.every_second.add_step([this] {
        if (!stopped_) tick();
    });
    ctx.every_second.add_step([this] {
        if (!stopped_ && ctx_->ui.window_visible() && page_on_screen()) update_ui();
    });
    // The timer starts right after the tools: the first tick is this one.
    tick_guarded();
    update_ui();
}

void BoosterModule::stop() {
    if (!ctx_ || stopped_) return;
    release();
    stopped_ = true;
}

void BoosterModule::release() {
    if (!ctx_) return;
    try {
        set_timer_hold(false);
    } catch (const std::exception& e) {
        ctx_->ui.log(std::string("Could not release the timer resolution: ") + e.what(), LogKind::Err);
    }
    try {
        restore_lowered();
    } catch (const std::exception& e) {
        ctx_->ui.log(std::string("Could not restore the lowered priorities: ") + e.what(), LogKind::Err);
    }
}

bool BoosterModule::clean_memory_now() { return ctx_ && standby_purge(/*force=*/true); }

void BoosterModule::tick_guarded() {
    try {
        tick();
    } catch (const std::exception& e) {
        // The next tick tries again; the player's click has still been recorded.
        ctx_->ui.log(std::string("Game Booster: ") + e.what(), LogKind::Err);
    }
}

void BoosterModule::set_timer_hold(bool on) {
    if (!ok_) return;
    if (on && !s_.timer_held) {
        const uint32_t res = booster_options::get(settings(), "TimerRes", 5000);
        pf().performance().set_timer_resolution(res, true);
        s_.timer_held = true;
        s_.timer_res = res;
    } else if (!on && s_.timer_held) {
        pf().performance().set_timer_resolution(s_.timer_res, false);
        s_.timer_held = false;
    }
}

void BoosterModule::restore_lowered() {
    auto& procs = pf().processes();
    for (auto& [pid, _] : s_.lowered) {
        try {
            // One the player moved elsewhere meanwhile stays where they put it.
            if (procs.priority(pid) == platform::PriorityClass::BelowNormal)
                procs.set_priority(pid, platform::PriorityClass::Normal);
        } catch (const platform::PlatformError&) {
            // Gone or refusing (a protected process): nothing left to put back.
        }
    }
    s_.lowered.clear();
}

bool BoosterModule::standby_purge(bool force) {
    if (!ok_) return false;
    const int64_t now = pf().clock().steady_ms();
    if (!force && s_.last_purge && now - *s_.last_purge < kPurgeSpacingMs) return false;
    const int32_t status = pf().performance().purge_standby_list();
    s_.last_purge = now;
    if (status != 0) return false;
    ++s_.purges;
    return true;
}

std::string BoosterModule::timer_now() {
    if (!ok_) return "n/a";
    auto res = pf().performance().query_timer_resolution();
    return res ? timer_text(res->current) : "n/a";
}

}  // namespace vexlo::booster
