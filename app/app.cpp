#include "app/app.h"

#include <cmath>

#include "app/core/booster_options.h"
#include "app/core/embedded.h"
#include "app/core/game.h"
#include "app/core/names.h"
#include "app/core/settings.h"
#include "app/core/temp_files.h"
#include "app/core/text.h"
#include "app/tools/applied_marks.h"
#include "app/tools/system_actions.h"
#include "app/tweaks/startup_items.h"
#include "app/tweaks/custom_ops.h"
#include "app/tweaks/page_table.h"
#include "app/ui/apply_ui.h"
#include "app/ui/live_stats.h"
#include "app/ui/main_view.h"
#include "app/ui/main_window.h"
#include "app/ui/pages.h"
#include "app/ui/splash.h"
#include "app/ui/ui_message.h"
#include "app/ui/ui_server.h"
#include "app/ui/web_page.h"

namespace vexlo {

namespace {

const char* kWelcome =
    "Start here:\n\n1.  Make a restore point (Home > Restore point).\n2.  Run the benchmark so you have a "
    "'before' score.\n3.  Pick a profile, or use Apply everything on any tab.\n4.  Restart your PC, then run the "
    "benchmark again.\n\nEvery tweak can be switched back off, and your original settings are saved first.";

const char* kTrayHint = "Game Booster is still running here. Right-click for options.";
// What the page of a window that went to the tray says, where the browser keeps it open.
const char* kStillRunning = "Vexlo Tweaks is still running in the notification area. Open it again from its icon.";
constexpr unsigned kTrayHintMs = 3000;
constexpr unsigned kToastBalloonMs = 2500;

const char* kWhatsNew[] = {
    "Apply everything: every tab now has a button that turns on ALL its tweaks, advanced ones included.",
    "Update guard: if a Windows update quietly resets your tweaks, Vexlo spots it and re-applies them.",
    "Benchmark: measure ping, jitter, timer, background load and more before and after optimizing.",
    "Share setups: export your exact tweak setup to a file and import setups from creators.",
    "Auto-updates: new versions install in one click.",
    "Press Ctrl+F anywhere to search.",
};

std::string clean_cpu_name(std::string s) {
    for (const char* mark : {"(R)", "(TM)", "(r)", "(tm)"}) {
        for (size_t p; (p = s.find(mark)) != std::string::npos;) s.erase(p, std::string_view(mark).size());
    }
    std::string out;
    bool blank = false;
    for (char c : trim(s)) {
        bool ws = c == ' ' || c == '\t' || c == '\r' || c == '\n';
        if (ws) {
            if (!blank) out += ' ';
            blank = true;
        } else {
            out += c;
            blank = false;
        }
    }
    return out;
}

bool matches_any(const std::string& name, std::initializer_list<const char*> words) {
    std::string lower = to_lower(name);
    for (const char* w : words)
        if (lower.find(to_lower(w)) != std::string::npos) return true;
    return false;
}

}  // namespace

bool has_tray_switch(const std::vector<std::string>& args) {
    for (auto& a : args)
        if (iequals(a, "--tray")) return true;
    return false;
}

App::App(platform::Platform& platform, StartOptions opts)
    : pf_(platform),
      options_(std::move(opts)),
      loop_(pf_.clock()),
      paths_(AppPaths::from(pf_.files())),
      reg_(pf_.registry()),
      store_(pf_.files(), paths_.backup_file),
      activity_(pf_.files(), pf_.clock(), paths_.log_file),
      ini_(pf_.files(), game_settings_path(pf_.files()), path_join(paths_.backup_dir, "GameUserSettings.original.ini")),
      engine_(reg_, store_, pf_, ini_),
      service_(catalog_, engine_, store_, reg_, pf_.processes()),
      ui_(loop_, activity_, pf_.shell()),
      front_(ui_),
      tray_(loop_, pf_.tray(), activity_,
            {[this] { show_window(); }, [this] { clean_memory_now(); },
             [this] {
                 exiting_ = true;
                 exit_app();
             }}) {
    std::erase_if(options_.args, [](const std::string& a) { return a.empty(); });
    tray_mode_ = has_tray_switch(options_.args);
    started_in_tray_ = tray_mode_;
    loop_.set_idle_hook([this] { flush_ui(); });
    // The switches follow every fresh reading of their tweak; the pill follows the first
    // change that needs a restart.
    service_.subscribe([this](const Tweak& t) { switches_.show(t); });
    service_.on_restart_pending([this] { ui_.set_restart_pending(); });
    for (auto& m : builtin_modules()) modules_.add(std::move(m));
    // While the window is away, a toast is the tray icon's balloon, when there is an icon.
    ui_.on_hidden_toast = [this](std::string_view text) {
        if (tray_.shown()) tray_.balloon("Vexlo Tweaks", text, kToastBalloonMs);
    };
    window_gone_timer_ = loop_.add_timer(std::chrono::milliseconds(kWindowGoneMs), [this] {
        loop_.stop_timer(window_gone_timer_);
        if (renderers_ == 0 && ui_.window_visible() && !exiting_) close_main_window();
    });
}

App::~App() {
    if (server_) server_->stop();
    // A run that ended without Exit-App (a test, an error) leaves no icon behind either.
    if (tray_.showing()) tray_.remove();
    loop_.remove_timer(window_gone_timer_);
}

void App::set_splash(const std::string& text, double percent) {
    if (!tray_mode_ && options_.build_window) {
        ui::set_splash(ui_.tree(), text, percent);
        ui_.update_ui();
    }
    if (options_.on_stage) options_.on_stage(text, percent);
}

void App::flush_ui() {
    if (!ui_.tree().has_patches()) return;
    std::string patches = ui_.tree().take_patches_text();
    if (options_.on_patches) options_.on_patches(patches);
    if (server_) server_->broadcast(std::move(patches));
}

void App::fill_hardware_tiles() {
    auto& info = pf_.system();
    try {
        auto cpus = info.cpu_names();
        if (!cpus.empty()) {
            std::string name = clean_cpu_name(cpus.front());
            ui_("StatCpu").set_text(name);
            ui_("TileCpuSub").set_text(name);
        }
    } catch (const std::exception& e) {
        activity_.append(std::string("Could not read the processor's name: ") + e.what());
    }
    try {
        auto gpus = info.gpu_names();
        std::vector<std::string> real;
        for (auto& g : gpus)
            if (!matches_any(g, {"Basic", "Remote", "Virtual", "Parsec", "Mirror"})) real.push_back(g);
        std::stable_partition(real.begin(), real.end(),
                              [](const std::string& g) { return matches_any(g, {"NVIDIA", "Radeon", "RX ", "Arc"}); });
        if (!real.empty())
            ui_("StatGpu").set_text(real.front());
        else if (!gpus.empty())
            ui_("StatGpu").set_text(gpus.front());
    } catch (const std::exception& e) {
        activity_.append(std::string("Could not read the graphics adapters: ") + e.what());
    }
    if (facts_.ram_kb > 0) ui_("StatRam").set_text(std::to_string(facts_.ram_gb) + " GB");
    try {
        std::string caption = info.os_caption();
        for (size_t p; (p = caption.find("Microsoft ")) != std::string::npos;) caption.erase(p, 10);
        if (!caption.empty()) ui_("StatOs").set_text(caption + "  \u00B7  build " + std::to_string(facts_.build));
    } catch (const std::exception& e) {
        activity_.append(std::string("Could not read the Windows edition: ") + e.what());
    }
    ui_("StatHz").set_text(std::to_string(facts_.hz) + " Hz");
    ui_("SideFortnite").set_text(facts_.fortnite_exe ? "Fortnite detected. All game tweaks unlocked."
                                                   : "Fortnite not found. Some game tweaks are locked.");
    if (facts_.is_laptop) ui_("TxtHeroKicker").set_text("FORTNITE MODE  \u00B7  LAPTOP DETECTED");
}

void App::build_pages() {
    ui::ViewDeps deps{loop_, ui_, service_, front_, switches_, activity_};
    deps.power_plan_name = [this]() -> std::optional<std::string> {
        try {
            auto plan = pf_.power().active_plan();
            return plan ? std::optional<std::string>(plan->name) : std::nullopt;
        } catch (const std::exception&) {
            return std::nullopt;  // the tile keeps its last text
        }
    };
    deps.rescan_startup_items = [this] { rescan_startup_items(); };
    deps.new_restore_point = [this] { return new_restore_point(); };
    deps.restart_adapters = [this] { return restart_adapters(); };
    deps.minimise_window = [this] { pf_.shell().minimise_app_window(); };
    view_ = std::make_unique<ui::MainView>(std::move(deps));
    view_->build();
    if (auto* sub = ui_.find("PageSub_Fortnite")) {
        auto root = fortnite_root(facts_.fortnite_exe);
        sub->set_text(root ? "Detected at " + *root + ". Close Fortnite before changing video settings."
                           : "Fortnite was not found through the Epic Games Launcher, so install-specific tweaks are "
                             "locked. The rest still work.");
    }
    if (auto* host = ui_.find("HostGrid")) modules_.build_pages(*host, ui_);
    live_ = std::make_unique<ui::LiveStats>(loop_, pf_.echo(), pf_.performance(), ui_, reg_);
}

std::string App::new_restore_point() {
    return vexlo::new_restore_point(pf_, reg_, {[this](std::string_view m, LogKind k) { ui_.log(m, k); },
                                                [this] { ui_.update_ui(); }});
}

std::string App::restart_adapters() {
    return vexlo::restart_adapters(pf_, service_, {[this](std::string_view m, LogKind k) { ui_.log(m, k); },
                                                   [this] { ui_.update_ui(); }});
}

void App::rescan_startup_items() {
    build_startup_items(catalog_, reg_, pf_.files());
    // Entries come and go between scans; each one's state is read as it is found.
    for (auto& t : catalog_.tweaks)
        if (t->kind == Kind::Startup) service_.sync(*t);
}

void App::start_up() {
    // Splash and the stages, in their fixed order.
    const bool window = options_.build_window;
    if (window) ui::build_splash(ui_.tree(), "/logo.svg", !tray_mode_);
    set_splash("Reading your system", 5);
    activity_.mute(options_.look_only);
    if (!options_.look_only) {
        try {
            pf_.files().create_directories(paths_.log_dir);
            pf_.files().create_directories(paths_.backup_dir);
        } catch (const std::exception& e) {
            // The store and the log say so again when they cannot write; start-up goes on.
            activity_.append(std::string("Could not create the application's folders: ") + e.what());
        }
        remove_leftover_temporaries(pf_.files(), paths_, ini_.path(), activity_);
    }
    store_.load(options_.look_only);
    facts_ = SystemFacts::read(pf_.system(), reg_, pf_.files());
    engine_.device_power().read_classes();
    register_operations(ops_, OpsContext{pf_, reg_, store_, ini_, facts_});
    catalog_ = load_catalog(builtin_catalog_sources(), ops_, {{"hz", std::to_string(facts_.hz)}});
    check_backup_records();

    set_splash("Loading tools", 30);

    if (window) {
        set_splash("Building the interface", 40);
        ui::build_main_window(ui_.tree(), "/logo.svg", kAppVersion);

        set_splash("Reading your hardware", 50);
        fill_hardware_tiles();
    }

    set_splash("Checking network adapters", 58);
    engine_.refresh_caches();

    // Their states are read with every other entry's in the next stage, which counts them.
    set_splash("Scanning startup apps", 64);
    build_startup_items(catalog_, reg_, pf_.files());

    set_splash("Checking every tweak", 70);
    service_.refresh_all(
        [&](size_t i, size_t n) {
            if (auto step = ui::checking_step(i, n)) set_splash(step->text, step->percent);
        },
        /*reread_caches=*/false);

    set_splash("Building pages", 92);
    if (window) build_pages();
    if (!options_.look_only) {
        try {
            initialize_applied_marks(reg_, catalog_);
        } catch (const std::exception& e) {
            activity_.append(std::string("Could not record the applied tweaks: ") + e.what());
        }
    }

    if (view_) {
        view_->update_counters();
        view_->build_wins();
    }

    // No update check yet: the stage sets up what the running window needs, the close button
    // and the one-second timer (started with the tools once start-up is over).
    set_splash("Checking for updates", 96);
    if (window) ui_("BtnClose").on("click", [this](ui::Element&, const Json&) { close_main_window(); });
    boost_timer_ = std::make_unique<BoostTimer>(loop_, show_event_.get(), [this] { show_window(); });

    set_splash("Ready", 100);
    size_t total = 0, available = 0;
    for (auto& t : catalog_.tweaks) {
        if (t->kind == Kind::Startup) continue;
        ++total;
        if (t->available) ++available;
    }
    ui_.log("Vexlo Tweaks " + std::string(kAppVersion) + " ready: " + std::to_string(available) + " of " +
           std::to_string(total) + " tweaks available on this PC.");
    if (window && !tray_mode_) {
        ui_("Main").set_visible(true);
        ui_.set_window_visible(true);
    }
}

void App::check_backup_records() {
    // A record of the wrong shape for its tweak is damage, as an unreadable file is: it is kept
    // aside with the file and the user is told, never used and never silently dropped.
    std::vector<std::string> ids;
    for (auto& [id, why] : engine_.misshapen_records(catalog_)) {
        activity_.append("The backup record of '" + id + "' is damaged (" + why + ") and is not used.");
        ids.push_back(id);
    }
    store_.drop_damaged(ids);
    const BackupDamage& d = store_.damage();
    if (d.whole_file)
        activity_.append("backup.json could not be read" +
                         (d.copy_path.empty() ? std::string(".") : "; it was kept as " + d.copy_path + "."));
}

void App::tell_backup_damage() {
    const BackupDamage& d = store_.damage();
    if (!d.any()) return;
    std::string body = d.whole_file ? "Vexlo Tweaks could not read the file that keeps your original settings (backup.json)."
                                    : "Part of the file that keeps your original settings (backup.json) was damaged: "
                                      "the records of " + join(d.ids, ", ") + ".";
    body += d.copy_path.empty() ? "\n\nA copy of the damaged file could not be kept."
                                : "\n\nA copy of the damaged file was kept at:\n" + d.copy_path;
    body += "\n\nTweaks without a record are switched off with Windows' default values instead of your originals.";
    ui_.show_dialog("Your backup file was damaged", body, {"OK"}, "Warning");
}

void App::offer_unfinished_changes() {
    // Originals held for tweaks that read as off: a change was cut short (the PC or the product
    // stopped half-way), or something else put part of it back.
    std::vector<Tweak*> open;
    for (auto& t : catalog_.tweaks)
        if (t->recorded && !t->state && t->kind != Kind::Startup) open.push_back(t.get());
    if (open.empty()) return;
    std::string list;
    for (size_t i = 0; i < open.size() && i < 14; ++i) list += "\n  -  " + open[i]->title;
    if (open.size() > 14) list += "\n  and " + std::to_string(open.size() - 14) + " more";
    std::string body = "These tweaks are only partly in effect, for example because Vexlo Tweaks or your PC stopped "
                       "while they were being changed:\n" + list +
                       "\n\nYour original values are saved. Put them back now?";
    if (ui_.show_dialog("Unfinished changes", body, {"Put back", "Not now"}, "Question") != "Put back") return;
    service_.revert_changes(open, front_);
}

void App::content_rendered() {
    if (rendered_once_) return;
    rendered_once_ = true;
    if (auto* splash = ui_.find("Splash")) splash->set_visible(false);
    tell_backup_damage();
    offer_unfinished_changes();
    // Written before any dialog, so closing the application during it does not show it again.
    auto last = settings::last_version(reg_);
    try {
        settings::set_last_version(reg_, kAppVersion);
    } catch (const std::exception& e) {
        // Then the dialog shows again next time: better than never.
        activity_.append(std::string("Could not record the version: ") + e.what());
    }
    // A run that starts in the tray greets no one when its window first opens.
    if (started_in_tray_) return;
    if (!last) {
        ui_.show_dialog("Welcome to Vexlo Tweaks", kWelcome, {"Let's go"}, "Information");
    } else if (*last != kAppVersion) {
        std::string body;
        for (const char* item : kWhatsNew) {
            if (!body.empty()) body += "\n\n";
            body += std::string("  -  ") + item;
        }
        ui_.show_dialog("What's new in v" + std::string(kAppVersion), body, {"Nice"}, "Information");
    }
}

void App::show_window() {
    if (exiting_) return;
    if (tray_mode_) {
        tray_mode_ = false;
        if (auto* main = ui_.find("Main")) main->set_visible(true);
    }
    ui_.set_window_visible(true);
    loop_.stop_timer(window_gone_timer_);
    if (server_ && (page_closed_ || server_->connections() == 0)) {
        page_closed_ = false;
        open_window();
    } else {
        ui_.tree().push_op({{"op", "activate"}});
        pf_.shell().raise_app_window();  // the page cannot lift a minimised window by itself
    }
}

void App::open_window() {
    std::string url;
    try {
        url = server_->new_window_url();
    } catch (const std::exception& e) {
        ui_.log(std::string("Failed: the window could not be opened - ") + e.what(), LogKind::Err);
        return;
    }
    if (options_.open_window)
        open_window(url);
    else if (options_.on_url)
        options_.on_url(url);
}

void App::close_main_window() {
    if (!exiting_ && booster_options::on(reg_) && booster_options::tray(reg_)) {
        hide_to_tray();
        return;
    }
    exit_app();
}

void App::hide_to_tray() {
    ui_.set_window_visible(false);
    loop_.stop_timer(window_gone_timer_);
    page_closed_ = true;
    ui_.tree().push_op({{"op", "close"}, {"note", kStillRunning}});
    flush_ui();
    tray_.show();
    if (!tray_hinted_) {
        // Once per run, so the player learns where the window went; a failure is no matter.
        tray_.balloon("Vexlo Tweaks", kTrayHint, kTrayHintMs);
        tray_hinted_ = true;
    }
}

void App::renderers_changed(int count) {
    const int before = renderers_;
    renderers_ = count;
    if (count > 0) {
        loop_.stop_timer(window_gone_timer_);
        // A page that comes while the window is away (the closed page reloaded by hand, the
        // address a tray start printed) is the window on screen again.
        if (count > before && running_ && !exiting_ && !ui_.window_visible()) {
            if (tray_mode_) {
                tray_mode_ = false;
                if (auto* main = ui_.find("Main")) main->set_visible(true);
            }
            ui_.set_window_visible(true);
            page_closed_ = false;
        }
        return;
    }
    // A reload drops the page's socket and opens a new one at once; only a page that stays
    // away means the window was closed.
    if (before > 0 && ui_.window_visible() && !exiting_) loop_.start_timer(window_gone_timer_);
}

BoosterControl* App::booster() {
    for (auto& m : modules_.modules())
        if (auto* b = m->booster()) return b;
    return nullptr;
}

void App::clean_memory_now() {
    BoosterControl* b = booster();
    if (!b) return;
    try {
        if (b->clean_memory_now()) ui_.show_toast("Standby memory cleaned.");
    } catch (const std::exception& e) {
        ui_.log(std::string("Failed: standby memory could not be cleaned - ") + e.what(), LogKind::Err);
    }
}

void App::open_window(const std::string& url) {
    if (pf_.shell().open_app_window(url)) return;
    // No browser could be started for us: the user can still open the window by hand.
    pf_.shell().message_box("Vexlo Tweaks",
                           "Vexlo Tweaks could not open its window.\n\nOpen this address in your browser:\n" + url,
                           platform::MsgButtons::Ok, platform::MsgIcon::Warning);
}

void App::exit_app() {
    if (exited_) return;
    exited_ = true;
    exiting_ = true;
    // The booster's temporary changes go first: the timer request and the lowered priorities
    // must not outlive the product.
    if (BoosterControl* b = booster()) {
        try {
            b->release();
        } catch (const std::exception& e) {
            activity_.append(std::string("The game booster could not undo its changes: ") + e.what());
        }
    }
    if (live_) live_->stop();
    if (boost_timer_) boost_timer_->stop();
    loop_.stop_timer(window_gone_timer_);
    modules_.stop_all(ui_);
    tray_.remove();
    ui_.tree().push_op({{"op", "close"}});
    flush_ui();
    loop_.quit();
}

void App::handle_message(const std::string& text) {
    std::string why;
    auto msg = ui::parse_ui_message(text, &why);
    if (!msg) {
        if (auto line = dropped_messages_.dropped(why)) activity_.append(*line);
        return;
    }
    if (auto line = dropped_messages_.flush()) activity_.append(*line);
    if (msg->ev == "rendered") {
        // The dialogs run a nested loop: let this message's handler return first.
        loop_.post([this] { content_rendered(); });
        return;
    }
    if (msg->ev == "size") {
        // Layout, not input: it reaches its element also while a dialog holds the input.
        if (auto* e = ui_.tree().by_id(msg->id)) e->fire("size", msg->value);
        return;
    }
    if (msg->ev == "key") {
        if (msg->value == "Escape" && ui_.dialog_open()) ui_.end_dialog();
        return;
    }
    ui_.tree().dispatch(msg->id, msg->ev, msg->value);
}

std::optional<std::string> wrong_account_message(platform::SystemInfo& system) {
    auto users = system.desktop_user_mismatch();
    if (!users) return std::nullopt;
    const std::string& admin = users->process_user;
    const std::string& person = users->desktop_user;
    return "Vexlo Tweaks was started with the administrator account " + admin + ", but " + person +
           " is signed in to Windows. Your tweaks and game settings would be changed for " + admin +
           ", not for you.\n\nSign in as " + person + " with an administrator account, or ask an administrator to give " +
           person + " administrator rights, then start Vexlo Tweaks again.";
}

int App::run() {
    // Elevation: a copy with administrator rights carries on; this one ends either way.
    if (!pf_.system().is_elevated()) {
        pf_.shell().relaunch_elevated(options_.exe, options_.args);
        return 0;
    }
    // Elevated with another administrator's password: HKCU and the game's settings file would
    // be that account's. Say so and end before anything is made or changed.
    if (auto refusal = wrong_account_message(pf_.system())) {
        pf_.shell().message_box("Vexlo Tweaks", *refusal, platform::MsgButtons::Ok, platform::MsgIcon::Warning);
        return 0;
    }
    // Single instance: a second start asks the first to show its window and ends.
    auto mutex = pf_.named_objects().create_mutex(names::kAppMutex);
    show_event_ = pf_.named_objects().open_event(names::kShowEvent);
    if (!mutex.created_new) {
        if (show_event_) {
            // Only the program in the foreground may pass the foreground on: this start, which the
            // user just made. The first one lifts its window once signalled.
            pf_.shell().allow_foreground_switch();
            show_event_->signal();
        }
        return 0;
    }
    instance_mutex_ = std::move(mutex.handle);

    ui::UiServerConfig cfg;
    cfg.port = options_.port;
    cfg.random = &pf_.random();
    cfg.index_html = ui::compose_index_html();
    if (auto logo = embedded_file("logo.svg")) cfg.logo_svg = std::string(*logo);
    // The renderers connected so far get what is pending first: the snapshot already holds it,
    // and the new renderer must not get it twice.
    server_ = std::make_unique<ui::UiServer>(
        loop_, std::move(cfg),
        [this] {
            flush_ui();
            return ui_.tree().snapshot_text();
        },
        [this](const std::string& m) { handle_message(m); });
    server_->on_connections_changed([this](int n) { renderers_changed(n); });
    server_->start();
    // One address, good for one page load: the browser we start and the one the caller is told
    // about are the same window.
    if (options_.on_url || (!tray_mode_ && options_.open_window)) {
        std::string url = server_->new_window_url();
        if (options_.on_url) options_.on_url(url);
        if (!tray_mode_ && options_.open_window) open_window(url);
    }

    try {
        start_up();
    } catch (const CatalogError& e) {
        // Broken catalog data: say what and where, and stop.
        ui_.tree().push_op({{"op", "close"}});
        flush_ui();
        pf_.shell().message_box("Vexlo Tweaks", std::string("Vexlo Tweaks cannot start: ") + e.what(),
                               platform::MsgButtons::Ok, platform::MsgIcon::Error);
        server_->stop();
        throw;
    }

    start_running();
    loop_.run();
    server_->stop();
    return 0;
}

void App::start_running() {
    if (exited_) return;  // asked to end during start-up (Ctrl+C): nothing is started
    running_ = true;
    // Tools start once the window and the tweaks are ready; the one-second timer (made by
    // start-up) answers a second start and drives what the tools tick.
    // A start in the tray shows its icon first, so the booster's first tick (a game already
    // running at sign-in) can tell the player through a balloon.
    if (started_in_tray_) tray_.show();
    ModuleContext ctx{loop_, pf_, service_, front_, ui_, reg_, *boost_timer_};
    if (view_) ctx.actions = &view_->actions();
    modules_.start_all(ctx);
    boost_timer_->start();
    if (started_in_tray_) {
        // No window until the tray's "Open", a double click or a second start asks for one.
    } else if (live_) {
        // Only a start with the window measures; showing a window later does not start it.
        live_->start();
    }
}

}  // namespace vexlo
