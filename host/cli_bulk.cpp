#include "host/cli_bulk.h"

#include <iostream>

#include "app/core/names.h"
#include "app/core/text.h"
#include "app/tweaks/page_table.h"
#include "app/tweaks/score.h"
#include "app/tweaks/tweak_sets.h"

namespace vexlo::cli {

namespace {

// A bulk run in the terminal: each step and failure on its own line, also in the activity log.
class ShellBulkFront final : public BulkFront {
public:
    ShellBulkFront(App& app, ActivityLog& log) : app_(app), log_(log) {}
    void log(std::string_view message, LogKind kind) override {
        (kind == LogKind::Err ? std::cerr : std::cout) << message << "\n";
        log_.append(message);
    }
    void failure(std::string_view line) override {
        std::cerr << line << "\n";
        log_.append(line);
    }
    void progress_begin(std::string_view title) override { std::cout << title << "\n"; }
    void progress(size_t, size_t, std::string_view) override {}  // the "Applying i/N" line says it
    void restart_adapters() override {
        std::cout << "Restarting network adapters (a few seconds offline)...\n";
        app_.restart_adapters();
    }
    void refresh_all() override { app_.tweaks().refresh_all(); }

private:
    App& app_;
    ActivityLog& log_;
};

bool known_tweak_page(const std::string& page) {
    if (builtin_pages().tweak_page(page)) return true;
    std::vector<std::string> names;
    for (const PageInfo* p : builtin_pages().tweak_pages()) names.push_back(p->name);
    std::cerr << "Unknown page '" << page << "'. Tweak pages: " << join(names, ", ") << "\n";
    return false;
}

// What the run would change, tweak by tweak, value by value. Changes nothing.
int print_plan(App& app, const std::vector<Tweak*>& set, BulkMode mode) {
    TweakService& tweaks = app.tweaks();
    auto todo = tweaks.bulk_todo(set, mode);
    if (todo.empty()) {
        std::cout << "Everything here is already set.\n";
        return 0;
    }
    const bool apply = mode == BulkMode::Apply;
    for (Tweak* t : todo) {
        std::cout << (apply ? "Would apply: " : "Would restore: ") << t->title << " (" << t->id << ")\n";
        std::vector<PlannedChange> changes;
        try {
            changes = tweaks.plan(*t, apply);
        } catch (const std::exception& e) {
            std::cout << "  could not be read: " << e.what() << "\n";
            continue;
        }
        for (auto& c : changes) std::cout << "  " << change_text(c) << "\n";
        if (changes.empty()) std::cout << "  (no value would change)\n";
        if (t->kind == Kind::Ini && tweaks.game_running()) std::cout << "  Would be skipped: Close Fortnite first.\n";
    }
    std::cout << todo.size() << " tweaks would change.\n";
    return 0;
}

int run_bulk(App& app, platform::Platform& pc, const std::vector<Tweak*>& set, BulkMode mode) {
    ActivityLog activity(pc.files(), pc.clock(), AppPaths::from(pc.files()).log_file);
    ShellBulkFront front(app, activity);
    BulkResult r = app.tweaks().bulk(set, mode, front);
    if (r.nothing_to_do) {
        std::cout << "Everything here is already set.\n";
        if (mode == BulkMode::Revert && r.set_before > 0) std::cout << set_before_line(r.set_before) << "\n";
        return 0;
    }
    std::string summary = bulk_summary(r, mode, app.tweaks().restart_pending());
    std::cout << summary << "\n";
    activity.append(bulk_headline(r, mode));
    return r.failures > 0 || r.game_skipped ? kExitFailed : 0;
}

void maybe_restore_point(App& app, const BulkOptions& o, bool always) {
    if (!o.restore_point && !always) return;
    // Its own lines say how it went; a failure does not stop the run.
    std::cout << app.new_restore_point() << "\n";
}

}  // namespace

void load_headless(App& app) {
    app.window().set_window_visible(false);
    app.start_up();
}

std::unique_ptr<platform::NamedMutex> hold_instance(platform::Platform& pc) {
    auto mutex = pc.named_objects().create_mutex(names::kAppMutex);
    if (mutex.created_new) return std::move(mutex.handle);
    std::cerr << "Vexlo Tweaks is running. Make the change in its window, or close it first.\n";
    return nullptr;
}

int profile(App& app, platform::Platform& pc, const std::string& name, const BulkOptions& o) {
    Profile p;
    if (!parse_profile(name, p)) {
        std::cerr << "Unknown profile '" << name << "'. Profiles: competitive, max, laptop\n";
        return kExitUsage;
    }
    std::unique_ptr<platform::NamedMutex> instance;
    if (!o.dry_run && !(instance = hold_instance(pc))) return kExitFailed;
    load_headless(app);
    auto set = profile_set(app.tweaks().catalog(), p);
    size_t off = size_t(std::count_if(set.begin(), set.end(), [](Tweak* t) { return !t->state; }));
    if (off == 0) {
        std::cout << "Every tweak in the " << profile_name(p) << " profile is already active.\n";
        return 0;
    }
    if (o.dry_run) {
        std::cout << profile_description(p) << "\n\n";
        return print_plan(app, set, BulkMode::Apply);
    }
    if (!o.yes) {
        std::cout << profile_description(p) << "\n\n" << off << " tweaks will change.\n"
                  << "Run again with --yes to apply them (add --restore-point to make a Windows restore point first, "
                     "or --dry-run to see every value).\n";
        return kExitNeedsConfirm;
    }
    maybe_restore_point(app, o, false);
    return run_bulk(app, pc, set, BulkMode::Apply);
}

int apply_page(App& app, platform::Platform& pc, const std::string& page, bool everything, const BulkOptions& o) {
    if (!known_tweak_page(page)) return kExitUsage;
    std::unique_ptr<platform::NamedMutex> instance;
    if (!o.dry_run && !(instance = hold_instance(pc))) return kExitFailed;
    load_headless(app);
    const Catalog& cat = app.tweaks().catalog();
    if (!everything) {
        auto set = recommended_set(cat, page);
        return o.dry_run ? print_plan(app, set, BulkMode::Apply) : run_bulk(app, pc, set, BulkMode::Apply);
    }
    ApplyAllPlan plan = apply_all_plan(cat, page);
    if (plan.set.empty()) return 0;
    std::vector<Tweak*> set = plan.set;
    if (o.skip_trade_offs)
        std::erase_if(set, [&](Tweak* t) { return std::find(plan.trade_offs.begin(), plan.trade_offs.end(), t) != plan.trade_offs.end(); });
    if (o.dry_run) return print_plan(app, set, BulkMode::Apply);
    if (!o.yes) {
        std::cout << plan.body << "\n\nRun again with --yes to apply everything"
                  << (plan.trade_offs.empty() ? "" : " (add --skip-trade-offs to leave the trade-offs alone)") << ".\n";
        return kExitNeedsConfirm;
    }
    maybe_restore_point(app, o, /*always=*/true);
    return run_bulk(app, pc, set, BulkMode::Apply);
}

int revert_page(App& app, platform::Platform& pc, const std::string& page, const BulkOptions& o) {
    if (!known_tweak_page(page)) return kExitUsage;
    std::unique_ptr<platform::NamedMutex> instance;
    if (!o.dry_run && !(instance = hold_instance(pc))) return kExitFailed;
    load_headless(app);
    auto set = page_set(app.tweaks().catalog(), page);
    return o.dry_run ? print_plan(app, set, BulkMode::Revert) : run_bulk(app, pc, set, BulkMode::Revert);
}

int score(App& app, bool as_json) {
    load_headless(app);
    const Catalog& cat = app.tweaks().catalog();
    int s = readiness_score(cat);
    Totals tot = totals(cat);
    StartupCount st = startup_count(cat);
    auto wins = biggest_wins(cat);
    if (as_json) {
        Json pages = Json::object();
        for (const PageInfo* p : builtin_pages().tweak_pages()) {
            Count c = page_count(cat, p->name);
            pages[p->name] = {{"on", c.on}, {"available", c.available}};
        }
        Json w = Json::array();
        for (Tweak* t : wins) w.push_back({{"id", t->id}, {"title", t->title}, {"page", t->page}, {"advanced", t->adv}});
        Json out = {{"score", s},
                    {"title", hero_title(s)},
                    {"active", tot.active},
                    {"available", tot.available},
                    {"tweaks", tot.tweaks},
                    {"settings", tot.settings},
                    {"pages", pages},
                    {"startup", {{"total", st.total}, {"blocked", st.blocked}}},
                    {"wins", w}};
        std::cout << out.dump(2) << "\n";
        return 0;
    }
    std::cout << "Readiness: " << s << "%  " << hero_title(s) << "\n" << totals_line(tot) << "\n\n";
    for (const PageInfo* p : builtin_pages().tweak_pages()) {
        Count c = page_count(cat, p->name);
        std::cout << "  " << p->title << ": " << c.on << " / " << c.available << " active\n";
    }
    std::cout << "  Startup Apps: " << st.blocked << " of " << st.total << " blocked\n\nBiggest wins left:\n";
    for (Tweak* t : wins) std::cout << "  " << t->id << "  " << t->title << (t->adv ? "  (ADVANCED)" : "") << "\n";
    if (wins.empty()) std::cout << "  Every high-impact tweak is on.\n";
    return 0;
}

}  // namespace vexlo::cli
