// vexlo: the core on the simulated PC. Starts the product or works its catalog from the shell.
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>

#include <CLI/CLI.hpp>

#include <pthread.h>
#include <signal.h>

#include <mutex>
#include <thread>

#include "app/app.h"
#include "app/core/game.h"
#include "app/core/names.h"
#include "app/core/text.h"
#include "app/core/paths.h"
#include "app/tweaks/custom_ops.h"
#include "host/cli_bulk.h"
#include "host/cli_sim.h"
#include "host/core_host.h"
#include "platform/sim/sim_machine.h"

namespace fs = std::filesystem;
using namespace vexlo;

namespace {

fs::path default_machine_dir() {
    if (const char* x = std::getenv("XDG_DATA_HOME"); x && *x) return fs::path(x) / "vexlo-tweaks" / "machine";
    if (const char* h = std::getenv("HOME"); h && *h) return fs::path(h) / ".local" / "share" / "vexlo-tweaks" / "machine";
    return fs::current_path() / "vexlo-machine";
}

using cli::load_headless;

// Ctrl+C in the terminal, or a polite kill, ends a running product the way the tray's "Exit"
// does: what the game booster holds (the timer request, the lowered priorities) goes back
// before the process ends. Made before any other thread, which all inherit the blocked mask.
class ExitOnSignal {
public:
    ExitOnSignal() {
        sigemptyset(&set_);
        sigaddset(&set_, SIGINT);
        sigaddset(&set_, SIGTERM);
        pthread_sigmask(SIG_BLOCK, &set_, &before_);
        watcher_ = std::thread([this] {
            for (;;) {
                int sig = 0;
                if (sigwait(&set_, &sig) != 0) continue;
                std::lock_guard lk(mu_);
                if (done_) return;
                if (!app_) std::_Exit(128 + sig);  // nothing running yet that needs undoing
                app_->request_exit();
            }
        });
    }
    ~ExitOnSignal() {
        {
            std::lock_guard lk(mu_);
            done_ = true;
        }
        pthread_kill(watcher_.native_handle(), SIGTERM);
        watcher_.join();
        pthread_sigmask(SIG_SETMASK, &before_, nullptr);
    }
    ExitOnSignal(const ExitOnSignal&) = delete;
    ExitOnSignal& operator=(const ExitOnSignal&) = delete;
    // The running application, or null once it is gone.
    void attach(App* app) {
        std::lock_guard lk(mu_);
        app_ = app;
    }

private:
    sigset_t set_{};
    sigset_t before_{};
    std::mutex mu_;
    App* app_ = nullptr;
    bool done_ = false;
    std::thread watcher_;
};

Json tweak_json(const Tweak& t) {
    return {{"id", t.id},       {"page", t.page},     {"group", t.group},         {"kind", std::string(kind_name(t.kind))},
            {"title", t.title}, {"available", t.available}, {"reason", t.reason}, {"state", t.state}};
}

int cmd_list(App& app, bool as_json) {
    load_headless(app);
    const Catalog& cat = app.tweaks().catalog();
    if (as_json) {
        Json out = Json::array();
        for (auto& t : cat.tweaks) out.push_back(tweak_json(*t));
        std::cout << out.dump(2) << "\n";
        return 0;
    }
    for (auto& t : cat.tweaks) {
        std::cout << (t->state ? "[on ] " : "[off] ") << t->id << "  " << t->page << " / " << t->group << "  ("
                  << kind_name(t->kind) << ")  " << t->title;
        if (!t->available) std::cout << "  -- unavailable: " << t->reason;
        std::cout << "\n";
    }
    return 0;
}

// Exit codes of apply and revert.
using cli::kExitFailed;        // a tweak failed, was refused, is unavailable or did not take
using cli::kExitUsage;         // an unknown id; nothing was changed
using cli::kExitNeedsConfirm;  // an ADVANCED tweak was left off: run again with --yes

// The command line's side of a change: lines go to the terminal and the activity log; what the
// window would ask, the command line takes from its flags.
class ShellFront : public ChangeFront {
public:
    ShellFront(ActivityLog& log, bool yes) : log_(log), yes_(yes) {}
    void log(std::string_view message, LogKind kind) override {
        (kind == LogKind::Err ? std::cerr : std::cout) << message << "\n";
        log_.append(message);
    }
    void toast(std::string_view) override {}  // the log line has said it
    bool confirm_advanced(const Tweak& t) override {
        if (yes_) return true;
        std::cerr << "Needs confirmation: " << t.title << " is an ADVANCED tweak. " << t.desc
                  << "\n  Run again with --yes to apply it.\n";
        return false;
    }
    void game_running(const Tweak& t) override {
        std::cerr << "Skipped: " << t.title << " - Close Fortnite first. It rewrites its settings file when it exits, "
                  << "which would undo this change.\n";
    }

private:
    ActivityLog& log_;
    bool yes_;
};

// Looks every id up first, so that one unknown id changes nothing.
// Every tweak of the catalog, in its order, but the startup entries (they keep no originals).
std::optional<std::vector<Tweak*>> every_tweak(App& app) {
    std::vector<Tweak*> out;
    for (auto& t : app.tweaks().catalog().tweaks)
        if (t->kind != Kind::Startup) out.push_back(t.get());
    return out;
}

std::optional<std::vector<Tweak*>> find_all(App& app, const std::vector<std::string>& ids) {
    std::vector<Tweak*> list;
    for (auto& id : ids) {
        Tweak* t = app.tweaks().find(id);
        if (!t) {
            std::cerr << "Unknown tweak id: " << id << " (see 'vexlo list')\n";
            return std::nullopt;
        }
        list.push_back(t);
    }
    return list;
}

// The planned changes as data: {"where", "now", "new"}.
Json changes_json(const std::vector<PlannedChange>& changes) {
    Json out = Json::array();
    for (auto& c : changes) out.push_back({{"where", c.where}, {"now", c.now}, {"new", c.next}});
    return out;
}

const char* outcome_name(ChangeOutcome o) {
    switch (o) {
        case ChangeOutcome::Changed: return "change";
        case ChangeOutcome::AlreadySet: return "already";
        case ChangeOutcome::Unavailable: return "unavailable";
        case ChangeOutcome::Declined: return "needs-confirmation";
        case ChangeOutcome::GameRunning: return "game-running";
        case ChangeOutcome::Failed: return "failed";
        case ChangeOutcome::SetBefore: return "set-before";
    }
    return "?";
}

// apply --dry-run / revert --dry-run: what the change would do, tweak by tweak, value by value.
// Reads only: no value, backup, mark or log line is written. The exit code is the one the change
// itself would give (short of a failure it cannot foresee).
int cmd_preview(App& app, const std::vector<std::string>& ids, bool apply, bool yes, bool as_json, bool all) {
    load_headless(app);
    auto list = all ? every_tweak(app) : find_all(app, ids);
    if (!list) return kExitUsage;
    TweakService& tweaks = app.tweaks();
    bool failed = false, unconfirmed = false;
    Json out = Json::array();
    for (Tweak* t : *list) {
        ChangeOutcome outcome = tweaks.preview(*t, apply, yes);
        if (all && outcome == ChangeOutcome::Changed && !t->recorded) outcome = ChangeOutcome::SetBefore;
        if (all && outcome != ChangeOutcome::Changed && !as_json) continue;
        std::vector<PlannedChange> changes;
        if (outcome != ChangeOutcome::Unavailable && outcome != ChangeOutcome::AlreadySet && outcome != ChangeOutcome::SetBefore)
            changes = tweaks.plan(*t, apply);
        failed = failed || outcome == ChangeOutcome::Unavailable || outcome == ChangeOutcome::GameRunning;
        unconfirmed = unconfirmed || outcome == ChangeOutcome::Declined;
        if (as_json) {
            Json row = {{"id", t->id}, {"title", t->title}, {"action", apply ? "apply" : "revert"},
                        {"status", outcome_name(outcome)}, {"changes", changes_json(changes)}};
            if (outcome == ChangeOutcome::Unavailable) row["reason"] = t->reason;
            out.push_back(std::move(row));
            continue;
        }
        switch (outcome) {
            case ChangeOutcome::Unavailable:
                std::cout << "Not available: " << t->title << " - " << t->reason << "\n";
                continue;
            case ChangeOutcome::AlreadySet:
                std::cout << (apply ? "Already on: " : "Already off: ") << t->title << "\n";
                continue;
            default:
                break;
        }
        std::cout << (apply ? "Would apply: " : "Would restore: ") << t->title << " (" << t->id << ")\n";
        for (auto& c : changes) std::cout << "  " << change_text(c) << "\n";
        if (changes.empty()) std::cout << "  (no value would change)\n";
        if (outcome == ChangeOutcome::Declined) std::cout << "  Needs confirmation: an ADVANCED tweak; apply it with --yes.\n";
        if (outcome == ChangeOutcome::GameRunning) std::cout << "  Would be skipped: Close Fortnite first.\n";
    }
    if (as_json) std::cout << out.dump(2) << "\n";
    return failed ? kExitFailed : unconfirmed ? kExitNeedsConfirm : 0;
}

// show ID: one tweak's record, whether this PC offers it, its state and what a switch would change.
int cmd_show(App& app, const std::string& id, bool as_json) {
    load_headless(app);
    Tweak* t = app.tweaks().find(id);
    if (!t) {
        std::cerr << "Unknown tweak id: " << id << " (see 'vexlo list')\n";
        return kExitUsage;
    }
    std::vector<std::string> flags;
    if (t->adv) flags.push_back("ADVANCED");
    if (t->restart) flags.push_back("RESTART");
    if (t->no_laptop) flags.push_back("NO LAPTOP");
    if (t->manual) flags.push_back("MANUAL");
    const bool backed_up = app.tweaks().backups().has(t->id);
    // What flipping its switch would change: apply when off, revert when on.
    const bool next = !t->state;
    std::vector<PlannedChange> changes;
    if (t->available) changes = app.tweaks().plan(*t, next);
    if (as_json) {
        Json j = tweak_json(*t);
        j["desc"] = t->desc;
        j["impact"] = t->impact;
        j["flags"] = flags;
        j["backup"] = backed_up;
        j["planned"] = {{"action", next ? "apply" : "revert"}, {"changes", changes_json(changes)}};
        std::cout << j.dump(2) << "\n";
        return 0;
    }
    std::cout << t->id << "  " << t->title << "\n"
              << "  Page:      " << t->page << " / " << t->group << "\n"
              << "  Kind:      " << kind_name(t->kind) << "\n"
              << "  Impact:    " << t->impact << (flags.empty() ? "" : "  (" + join(flags, ", ") + ")") << "\n"
              << "  About:     " << t->desc << "\n"
              << "  Available: " << (t->available ? std::string("yes") : "no - " + t->reason) << "\n"
              << "  State:     " << (t->state ? "on" : "off") << "\n"
              << "  Backup:    " << (backed_up ? "original values recorded" : "none") << "\n";
    if (!t->available) return 0;
    std::cout << (next ? "  Applying it would change:\n" : "  Reverting it would change:\n");
    for (auto& c : changes) std::cout << "    " << change_text(c) << "\n";
    if (changes.empty()) std::cout << "    (no value)\n";
    return 0;
}

int cmd_change(App& app, platform::Platform& pc, const std::vector<std::string>& ids, bool apply, bool yes, bool all) {
    auto instance = cli::hold_instance(pc);
    if (!instance) return kExitFailed;
    load_headless(app);
    auto list = all ? every_tweak(app) : find_all(app, ids);
    if (!list) return kExitUsage;
    ActivityLog activity(pc.files(), pc.clock(), AppPaths::from(pc.files()).log_file);
    ShellFront front(activity, yes);
    bool failed = false, unconfirmed = false;
    size_t set_before = 0;
    auto results = all ? app.tweaks().revert_changes(*list, front) : app.tweaks().change_each(*list, apply, front);
    for (const ChangeResult& r : results) {
        const Tweak& t = *r.tweak;
        switch (r.outcome) {
            case ChangeOutcome::SetBefore:
                ++set_before;
                continue;
            case ChangeOutcome::Unavailable:
                if (all) continue;
                std::cerr << "Not available: " << t.title << " - " << t.reason << "\n";
                failed = true;
                continue;
            case ChangeOutcome::AlreadySet:
                if (!all) std::cout << (apply ? "Already on: " : "Already off: ") << t.title << "\n";
                continue;
            case ChangeOutcome::Declined:
                unconfirmed = true;
                continue;
            case ChangeOutcome::GameRunning:
            case ChangeOutcome::Failed:
                failed = true;
                continue;
            case ChangeOutcome::Changed:
                break;
        }
        // What counts is what the PC holds afterwards, not what the change reported.
        if (t.state != apply) {
            std::cerr << "Did not take: " << t.title << " is still " << (t.state ? "on" : "off") << "\n";
            failed = true;
        }
    }
    if (set_before > 0)
        std::cout << set_before << (set_before == 1 ? " tweak was" : " tweaks were")
                  << " already set before Vexlo Tweaks changed anything, and left as "
                  << (set_before == 1 ? "it is" : "they are") << ".\n";
    return failed ? kExitFailed : unconfirmed ? kExitNeedsConfirm : 0;
}

// Checks catalog files with start-up's loader and the operations the product registers: the
// built-in catalog when no file is named, otherwise exactly the named files, in the order given.
// It only reads: the simulated PC is opened but left as it was.
int cmd_catalog_check(platform::Platform& pc, const std::vector<std::string>& files) {
    std::vector<std::string> texts;
    texts.reserve(files.size());  // the sources view these strings: they must not move
    std::vector<CatalogSource> sources;
    for (auto& file : files) {
        std::error_code ec;
        std::ifstream in(file, std::ios::binary);
        if (!in || !fs::is_regular_file(file, ec)) {
            std::cerr << "Cannot read " << file << "\n";
            return 2;
        }
        texts.emplace_back(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
        sources.push_back({file, texts.back()});
    }
    // The operations are only looked up by name here, never run.
    Reg reg(pc.registry());
    BackupStore store(pc.files(), AppPaths::from(pc.files()).backup_file);
    IniFile ini(pc.files(), game_settings_path(pc.files()), {});
    SystemFacts facts;
    Operations ops;
    register_operations(ops, OpsContext{pc, reg, store, ini, facts});
    try {
        if (files.empty()) sources = builtin_catalog_sources();
        Catalog catalog = load_catalog(sources, ops);
        size_t n = catalog.tweaks.size(), m = sources.size();
        std::cout << "Catalog OK: " << n << (n == 1 ? " tweak" : " tweaks") << " in " << m << (m == 1 ? " file." : " files.")
                  << "\n";
        return 0;
    } catch (const CatalogError& e) {
        std::cerr << e.what() << "\n";
        return 1;
    }
}

// sim reset ID: what a big Windows update does to a tweak: its settings go back to Windows'
// defaults behind the product's back. Its backup record and its applied mark stay, so the
// product sees a tweak it turned on that is now off.
int cmd_sim_reset(platform::Platform& pc, const std::string& id) {
    Reg reg(pc.registry());
    // The update knows nothing of the product's records: the revert works on an empty store of
    // its own, so it writes the defaults, and the real backup.json is not touched.
    const std::string scratch = path_join(pc.files().known_folder(platform::KnownFolder::Temp), "vexlo-sim-reset.json");
    pc.files().remove(scratch);
    BackupStore store(pc.files(), scratch);
    store.load(false);
    IniFile ini(pc.files(), game_settings_path(pc.files()), {});
    SystemFacts facts = SystemFacts::read(pc.system(), reg, pc.files());
    Operations ops;
    register_operations(ops, OpsContext{pc, reg, store, ini, facts});
    Catalog catalog = load_catalog(builtin_catalog_sources(), ops, {{"hz", std::to_string(facts.hz)}});
    Tweak* t = catalog.find(id);
    if (!t || t->kind == Kind::Startup) {
        std::cerr << "Unknown tweak id: " << id << " (see 'vexlo list')\n";
        return 2;
    }
    Engine engine(reg, store, pc, ini);
    engine.refresh_caches();
    int code = 0;
    try {
        engine.revert_kind(*t);
        std::cout << "Reset by Windows: " << t->title << "\n";
    } catch (const std::exception& e) {
        std::cerr << "Could not reset " << t->title << ": " << e.what() << "\n";
        code = 1;
    }
    pc.files().remove(scratch);
    return code;
}

}  // namespace

int main(int argc, char** argv) {
    CLI::App cli{"Vexlo Tweaks on the simulated PC"};
    cli.require_subcommand(0, 1);
    std::string machine;
    std::string image = "desktop11";
    cli.add_option("--machine", machine, "Folder of the simulated PC (created and seeded when new)");
    cli.add_option("--image", image, "Image a new simulated PC is seeded from");

    auto* run = cli.add_subcommand("run", "Start the product (the default)");
    bool no_browser = false;
    uint16_t port = 0;
    std::vector<std::string> run_args;
    run->add_flag("--no-browser", no_browser, "Only print the window's address");
    run->add_option("--port", port, "Port of the window's server on 127.0.0.1 (default: any free port)");
    run->add_option("args", run_args, "Arguments handed to the application (e.g. --tray)");
    run->allow_extras();

    auto* list = cli.add_subcommand("list", "Every tweak with page, group, kind, availability and state");
    bool as_json = false;
    list->add_flag("--json", as_json, "As JSON");

    std::vector<std::string> apply_ids, revert_ids;
    bool yes = false;
    const char* exit_codes =
        "Exit codes: 0 done; 1 a tweak failed, was refused (the game runs), is not available on this PC or did not "
        "take; 2 unknown id (nothing changed); 3 an ADVANCED tweak was left off because --yes was not given.";
    auto* apply = cli.add_subcommand("apply", "Apply tweaks by id, backing up the originals first");
    apply->add_option("ids", apply_ids, "Tweak ids");
    std::string page;
    bool page_all = false, skip_trade_offs = false, restore_point = false;
    apply->add_option("--page", page, "Every recommended tweak of a page (System, Fortnite, Debloat, ...), as its "
                                      "\"Apply recommended\" button");
    apply->add_flag("--all", page_all, "With --page: every tweak of the page, ADVANCED ones included, as \"Apply "
                                       "everything\" (needs --yes; a restore point is made first)");
    apply->add_flag("--skip-trade-offs", skip_trade_offs, "With --page --all: leave the security and heat trade-offs alone");
    apply->add_flag("--yes", yes,
                    "Answer Yes to the ADVANCED warning the window asks before turning such a tweak on "
                    "(without it, ADVANCED tweaks are left off)");
    apply->footer(exit_codes);
    auto* revert = cli.add_subcommand("revert", "Revert tweaks by id to their originals");
    revert->add_option("ids", revert_ids, "Tweak ids");
    revert->add_option("--page", page, "Every change of this product on a page, as its \"Revert page\" button");
    bool revert_all = false;
    revert->add_flag("--all", revert_all,
                     "Every change Vexlo Tweaks made, also ones cut short; tweaks that were already set before it "
                     "are left as they are");
    revert->footer(exit_codes);
    bool dry_run = false, change_json = false;
    for (auto* c : {apply, revert}) {
        c->add_flag("--dry-run", dry_run,
                    "Print every value the change would make, as 'where: now -> new', and change nothing "
                    "(no value, backup, mark or log line)");
        c->add_flag("--json", change_json, "With --dry-run: the same as JSON");
    }
    revert->add_flag("--yes", yes, "Accepted for symmetry with apply; reverting never asks");

    auto* profile_cmd = cli.add_subcommand("profile", "Apply a profile: competitive, max or laptop");
    std::string profile_name;
    profile_cmd->add_option("name", profile_name, "competitive, max or laptop")->required();
    profile_cmd->add_flag("--dry-run", dry_run, "Print every value the profile would change, and change nothing");
    profile_cmd->add_flag("--yes", yes, "Apply without asking (the window asks first)");
    profile_cmd->add_flag("--restore-point", restore_point, "Make a Windows restore point first");
    profile_cmd->footer(exit_codes);

    auto* score_cmd = cli.add_subcommand("score", "The readiness score, the counters and the biggest wins left");
    bool score_json = false;
    score_cmd->add_flag("--json", score_json, "As JSON");

    std::string show_id;
    bool show_json = false;
    auto* show = cli.add_subcommand("show", "One tweak: its record, availability with reason, state and what its switch would change");
    show->add_option("id", show_id, "Tweak id")->required();
    show->add_flag("--json", show_json, "As JSON");

    // Changing the simulated world by hand, as a person or a test would on a real PC.
    auto* sim_cmd = cli.add_subcommand("sim", "Look at and change the simulated PC (programs, timer, memory, network, "
                                              "tray icon, restart Windows)");
    sim_cmd->require_subcommand(1);
    std::string process_image;
    cli::SimCommands sim_commands(*sim_cmd);
    auto* stop_proc = sim_cmd->add_subcommand("stop-process", "Stop every process of a program");
    stop_proc->add_option("image", process_image)->required();
    auto* reboot_cmd = sim_cmd->add_subcommand(
        "reboot", "Restart Windows' services: start types as the registry has them, disabled services stopped and "
                  "automatic ones started");
    std::string reset_id;
    auto* reset_cmd = sim_cmd->add_subcommand(
        "reset", "Put a tweak's settings back to Windows' defaults, as a big Windows update does (the product's "
                 "records stay)");
    reset_cmd->add_option("id", reset_id, "Tweak id")->required();

    auto* catalog_cmd = cli.add_subcommand("catalog", "Work with the catalog's data files");
    catalog_cmd->require_subcommand(1);
    std::vector<std::string> catalog_files;
    auto* catalog_check = catalog_cmd->add_subcommand(
        "check", "Check catalog files as start-up does (default: the built-in catalog)");
    catalog_check->add_option("files", catalog_files, "Catalog files, loaded together in the order given");

    CLI11_PARSE(cli, argc, argv);
    if (revert->parsed() && int(revert_all) + int(!revert_ids.empty()) + int(!page.empty()) != 1) {
        std::cerr << "revert takes tweak ids, --page PAGE or --all\n";
        return kExitUsage;
    }
    if (apply->parsed() && (apply_ids.empty() == page.empty() || ((page_all || skip_trade_offs) && page.empty()))) {
        std::cerr << "apply takes tweak ids or --page PAGE (with --all for every tweak of the page)\n";
        return kExitUsage;
    }

    fs::path dir = machine.empty() ? default_machine_dir() : fs::path(machine);
    try {
        auto known = sim::SimMachine::image_names();
        if (std::find(known.begin(), known.end(), image) == known.end()) {
            std::cerr << "Unknown image '" << image << "'. Images: " << join(known, ", ") << "\n";
            return 2;
        }
        auto pc = sim::SimMachine::open(dir, image);
        // For probing by hand what a kill at the Nth write of this run leaves behind.
        if (const char* n = std::getenv("VEXLO_SIM_KILL_AT")) pc->faults().exit_at_write(std::atoi(n));
        StartOptions opts;
        opts.exe = argv[0];
        // The commands below show no window; `run` builds it.
        opts.build_window = false;
        if (sim_cmd->parsed()) {
            if (reset_cmd->parsed()) return cmd_sim_reset(*pc, reset_id);
            if (auto code = sim_commands.run(*pc)) return *code;
            if (reboot_cmd->parsed())
                pc->reboot();
            else if (stop_proc->parsed())
                pc->stop_process(process_image);
            return 0;
        }
        if (catalog_check->parsed()) return cmd_catalog_check(*pc, catalog_files);
        cli::BulkOptions bulk{dry_run, yes, restore_point, skip_trade_offs};
        if (score_cmd->parsed() || ((profile_cmd->parsed() || !page.empty()) && dry_run)) {
            opts.look_only = true;
            App app(*pc, opts);
            if (score_cmd->parsed()) return cli::score(app, score_json);
            if (profile_cmd->parsed()) return cli::profile(app, *pc, profile_name, bulk);
            return apply->parsed() ? cli::apply_page(app, *pc, page, page_all, bulk) : cli::revert_page(app, *pc, page, bulk);
        }
        if (profile_cmd->parsed() || !page.empty()) {
            if (auto refusal = wrong_account_message(pc->system())) {
                std::cerr << *refusal << "\n";
                return kExitFailed;
            }
            App app(*pc, opts);
            if (profile_cmd->parsed()) return cli::profile(app, *pc, profile_name, bulk);
            return apply->parsed() ? cli::apply_page(app, *pc, page, page_all, bulk) : cli::revert_page(app, *pc, page, bulk);
        }
        if (list->parsed() || show->parsed() || dry_run) {
            // Looking changes nothing on the PC, not even the log.
            opts.look_only = true;
            App app(*pc, opts);
            if (list->parsed()) return cmd_list(app, as_json);
            if (show->parsed()) return cmd_show(app, show_id, show_json);
            return cmd_preview(app, apply->parsed() ? apply_ids : revert_ids, apply->parsed(), yes, change_json,
                               revert->parsed() && revert_all);
        }
        if (apply->parsed() || revert->parsed()) {
            if (change_json) {
                std::cerr << "--json goes with --dry-run\n";
                return kExitUsage;
            }
            // The changes would land in another account's profile: refuse, as the window's start does.
            if (auto refusal = wrong_account_message(pc->system())) {
                std::cerr << *refusal << "\n";
                return kExitFailed;
            }
            App app(*pc, opts);
            return cmd_change(app, *pc, apply->parsed() ? apply_ids : revert_ids, apply->parsed(), yes,
                              revert->parsed() && revert_all);
        }
        opts.args = run_args;
        for (auto& extra : run->remaining()) opts.args.push_back(extra);
        opts.build_window = true;
        opts.open_window = !no_browser;
        opts.port = port;
        opts.on_url = [&](const std::string& url) {
            std::cout << "Vexlo Tweaks is running on the simulated PC in " << dir.string() << "\n"
                      << "Open its window at: " << url << "\n"
                      << std::flush;
        };
        // The launcher leaves the core in the app folder before it starts it; here the core is
        // this program, so a stand-in of it takes that place (what a self copy copies).
        if (!pc->files().exists(pc->running_core_path())) pc->place_running_core();
        ExitOnSignal signals;
        // As the Windows core does: assets into the app folder, a crash into crash.log.
        return run_host(*pc, opts.exe, opts.args, [&](const HostValues& values) {
            opts.root = values.root;
            App app(*pc, opts);
            signals.attach(&app);
            struct Detach {
                ExitOnSignal& s;
                ~Detach() { s.attach(nullptr); }
            } detach{signals};
            try {
                return app.run();
            } catch (const CatalogError& e) {
                std::cerr << "Vexlo Tweaks cannot start: " << e.what() << "\n";
                return 1;
            }
        });
    } catch (const CatalogError& e) {
        std::cerr << "Vexlo Tweaks cannot start: " << e.what() << "\n";
        return 1;
    } catch (const std::exception& e) {
        std::cerr << "Vexlo Tweaks stopped: " << e.what() << "\n";
        return 1;
    }
}
