// Bulk runs of the change service: many tweaks in one go, with one progress panel and one
// report at the end instead of a question and a toast per tweak.
#include "app/tweaks/tweak_service.h"
#include "app/tweaks/scope_exit.h"

namespace vexlo {

std::vector<Tweak*> TweakService::bulk_todo(const std::vector<Tweak*>& list, BulkMode mode, size_t* set_before) {
    std::vector<Tweak*> todo;
    size_t before = 0;
    for (Tweak* t : list) {
        if (mode == BulkMode::Apply) {
            if (t->available && !t->state) todo.push_back(t);
            continue;
        }
        // A revert puts back what this product changed. A tweak that reads as on without its
        // originals was set before (by the user, another tool or Windows) and is left alone:
        // writing the catalog's fallback values over it would undo the user's own setting.
        t->recorded = engine_.recorded(*t);
        if (preview(*t, false, /*advanced_confirmed=*/true) != ChangeOutcome::Changed) continue;
        if (t->recorded)
            todo.push_back(t);
        else
            ++before;
    }
    if (set_before) *set_before = before;
    return todo;
}

BulkResult TweakService::bulk(const std::vector<Tweak*>& list, BulkMode mode, BulkFront& front) {
    BulkResult out;
    const bool apply = mode == BulkMode::Apply;
    std::vector<Tweak*> todo = bulk_todo(list, mode, &out.set_before);
    if (todo.empty()) {
        out.nothing_to_do = true;
        front.log("Nothing to change here.", LogKind::Ok);
        return out;
    }
    // The game rewrites its settings file when it exits: those tweaks wait for it to close.
    if (game_running() && std::erase_if(todo, [](Tweak* t) { return t->kind == Kind::Ini; }) > 0)
        out.game_skipped = true;

    engine_.set_warn([&front](const std::string& line) { front.log(line, LogKind::Info); });
    Finally quiet{[this] { engine_.set_warn({}); }};
    front.progress_begin(apply ? "Applying tweaks" : "Restoring original settings");
    const size_t n = todo.size();
    out.run = n;
    for (size_t i = 0; i < n; ++i) {
        Tweak& t = *todo[i];
        front.log(std::string(apply ? "Applying " : "Restoring ") + std::to_string(i + 1) + "/" + std::to_string(n) +
                      ": " + t.title,
                  LogKind::Info);
        front.progress(i + 1, n, t.title);
        try {
            change_values(t, apply, /*mark=*/t.kind != Kind::Startup);
            ++out.successes;
            if (t.restart) mark_restart_pending();
        } catch (const std::exception& e) {
            ++out.failures;
            front.failure("Failed: " + t.title + " - " + e.what());
        }
    }
    if (engine_.nic_dirty) {
        front.progress(n, n, "Restarting network adapters (a few seconds offline)");
        front.restart_adapters();
        out.adapters_restarted = true;
    }
    front.progress(n, n, "Checking results");
    front.refresh_all();
    return out;
}

}  // namespace vexlo

namespace vexlo {

std::string bulk_headline(const BulkResult& r, BulkMode mode) {
    return std::string(mode == BulkMode::Apply ? "Applied " : "Restored ") + std::to_string(r.successes) + " tweaks.";
}

std::string bulk_summary(const BulkResult& r, BulkMode mode, bool restart_pending) {
    std::string text = bulk_headline(r, mode);
    if (r.failures > 0)
        text += " " + std::to_string(r.failures) + " could not be changed (details in the activity log).";
    if (r.game_skipped) text += "\n\nFortnite is running, so its video settings were skipped. Close it and apply again.";
    if (mode == BulkMode::Revert && r.set_before > 0)
        text += "\n\n" + set_before_line(r.set_before);
    if (mode == BulkMode::Apply && restart_pending) text += "\n\nRestart your PC so every change takes effect.";
    return text;
}

std::string set_before_line(size_t n) {
    return std::to_string(n) + (n == 1 ? " tweak was" : " tweaks were") +
           " already set before Vexlo Tweaks changed anything, and left as " +
           (n == 1 ? "it is." : "they are.");
}

}  // namespace vexlo
