#include "app/tweaks/tweak_service.h"

#include <algorithm>

#include "app/core/game.h"
#include "app/tools/applied_marks.h"
#include "app/tweaks/scope_exit.h"

namespace vexlo {

bool shares_group_values(Kind k) { return k == Kind::Reg || k == Kind::Ini || k == Kind::Custom || k == Kind::Pwr; }

TweakService::TweakService(Catalog& catalog, Engine& engine, BackupStore& store, Reg& reg,
                           platform::Processes& processes)
    : catalog_(catalog), engine_(engine), store_(store), reg_(reg), processes_(processes) {}

bool TweakService::game_running() const { return fortnite_running(processes_); }

void TweakService::mark_restart_pending() {
    bool first = !restart_pending_;
    restart_pending_ = true;
    if (first && restart_listener_) restart_listener_();
}

ChangeOutcome TweakService::change(Tweak& t, bool want, ChangeFront& front) {
    if (want && t.adv && !adv_ok_.contains(t.id)) {
        if (!front.confirm_advanced(t)) return ChangeOutcome::Declined;
        adv_ok_.insert(t.id);
    }
    // The game rewrites its settings file when it exits, which would undo the change.
    if (t.kind == Kind::Ini && game_running()) {
        front.game_running(t);
        return ChangeOutcome::GameRunning;
    }
    // What a handler skipped (a backup entry naming a place outside the tweak) is said once.
    engine_.set_warn([&front](const std::string& line) { front.log(line, LogKind::Info); });
    Finally quiet{[this] { engine_.set_warn({}); }};
    try {
        change_values(t, want, /*mark=*/true);
        if (want) {
            front.log("Applied: " + t.title, LogKind::Ok);
            front.toast("On: " + t.title);
        } else {
            front.log("Restored: " + t.title, LogKind::Info);
            front.toast("Restored: " + t.title);
        }
        if (t.restart) mark_restart_pending();
        // Adapter properties are written without restarting the adapters.
        if (t.kind == Kind::Nic) front.log((want ? "Applied: " : "Restored: ") + t.title + kNicRestartHint, LogKind::Ok);
    } catch (const std::exception& e) {
        front.log("Failed: " + t.title + " - " + e.what(), LogKind::Err);
        return ChangeOutcome::Failed;
    }
    return ChangeOutcome::Changed;
}

void TweakService::change_values(Tweak& t, bool want, bool mark) {
    if (want) {
        engine_.apply_kind(t);
        if (mark) set_applied_mark(reg_, t.id, true);
        return;
    }
    // The mark goes first: stopped half-way, the revert is finished from its record at the next
    // start, while a mark left on a tweak whose originals are all back (and its record gone)
    // would read as one Windows reset, and be put on again.
    auto ids = get_applied_ids(reg_);
    const bool was_marked = std::find(ids.begin(), ids.end(), t.id) != ids.end();
    set_applied_mark(reg_, t.id, false);
    try {
        engine_.revert_kind(t);
    } catch (...) {
        // A revert that fails leaves the mark as it was.
        try {
            if (was_marked) set_applied_mark(reg_, t.id, true);
        } catch (const std::exception&) {
            // The revert's own failure is what the caller reports and logs; the mark's write
            // failed on the same registry.
        }
        throw;
    }
}

ChangeOutcome TweakService::toggle(Tweak& t, bool want, ChangeFront& front) {
    ChangeOutcome out = change(t, want, front);
    // Also when the change was declined, refused or failed: the switch goes back to the truth.
    sync_after_change(t);
    return out;
}

ChangeOutcome TweakService::preview(const Tweak& t, bool want, bool advanced_confirmed) const {
    // Originals this product holds can always go back, whatever the tweak reads as now.
    const bool originals = !want && t.recorded;
    if (!t.available && !originals) return ChangeOutcome::Unavailable;
    if (t.state == want && !originals) return ChangeOutcome::AlreadySet;
    if (want && t.adv && !advanced_confirmed && !adv_ok_.contains(t.id)) return ChangeOutcome::Declined;
    if (t.kind == Kind::Ini && game_running()) return ChangeOutcome::GameRunning;
    return ChangeOutcome::Changed;
}

std::vector<ChangeResult> TweakService::change_each(const std::vector<Tweak*>& list, bool want, ChangeFront& front) {
    // What is to do is decided from the states at the start, as a bulk run's list is: a tweak
    // that an earlier one of the list turned off on the way (its opposite) is not changed back.
    std::vector<ChangeResult> out;
    out.reserve(list.size());
    for (Tweak* t : list) {
        if (!want) t->recorded = engine_.recorded(*t);
        out.push_back({t, preview(*t, want, /*advanced_confirmed=*/true), {}});
    }
    for (ChangeResult& r : out) {
        if (r.outcome == ChangeOutcome::Unavailable || r.outcome == ChangeOutcome::AlreadySet) continue;
        r.outcome = change(*r.tweak, want, front);
        sync_after_change(*r.tweak);
    }
    return out;
}

std::vector<ChangeResult> TweakService::revert_changes(const std::vector<Tweak*>& list, ChangeFront& front) {
    std::vector<ChangeResult> out;
    out.reserve(list.size());
    for (Tweak* t : list) {
        t->recorded = engine_.recorded(*t);  // a change made since the last reading counts
        ChangeResult r{t, preview(*t, false, /*advanced_confirmed=*/true), {}};
        if (r.outcome == ChangeOutcome::Changed && !t->recorded) r.outcome = ChangeOutcome::SetBefore;
        out.push_back(std::move(r));
    }
    for (ChangeResult& r : out) {
        if (r.outcome != ChangeOutcome::Changed) continue;
        r.outcome = change(*r.tweak, false, front);
        sync_after_change(*r.tweak);
    }
    return out;
}

void TweakService::sync(Tweak& t) {
    engine_.sync_state(t);
    announce(t);
}

void TweakService::sync_after_change(Tweak& t) {
    if (!shares_group_values(t.kind)) {
        sync(t);
        return;
    }
    for (auto& other : catalog_.tweaks)
        if (other->page == t.page && other->group == t.group) sync(*other);
}

void TweakService::refresh_all(const std::function<void(size_t, size_t)>& progress, bool reread_caches) {
    if (reread_caches) engine_.refresh_caches();
    engine_.full_state_pass(catalog_, progress);
    for (auto& t : catalog_.tweaks) announce(*t);
}

void TweakService::adapters_restarted() {
    engine_.nic_dirty = false;
    engine_.nic_cache().refresh();
}

int TweakService::subscribe(Listener listener) {
    int id = next_listener_++;
    listeners_.emplace_back(id, std::move(listener));
    return id;
}

void TweakService::unsubscribe(int id) {
    std::erase_if(listeners_, [id](auto& l) { return l.first == id; });
}

void TweakService::announce(const Tweak& t) {
    for (auto& [id, listener] : listeners_) listener(t);
}

}  // namespace vexlo
