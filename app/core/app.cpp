#include "app/core/app.h"

#include <cmath>

#include "app/core/embedded.h"
#include "app/core/game.h"
#include "app/core/settings.h"
#include "app/core/text.h"
#include "app/tools/applied_marks.h"
#include "app/tweaks/custom_ops.h"
#include "app/ui/apply_ui.h"
#include "app/ui/main_window.h"
#include "app/ui/pages.h"
#include "app/ui/splash.h"
#include "app/ui/ui_server.h"
#include "app/ui/web_page.h"

namespace vexlo {

namespace {

const char* kWelcome =
    "Start here:\n\n1.  Make a restore point (Home > Restore point).\n2.  Run the benchmark so you have a "
    "'before' score.\n3.  Pick a profile, or use Apply everything on any tab.\n4.  Restart your PC, then run the "
    "benchmark again.\n\nEvery tweak can be switched back off, and your original settings are saved first.";

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
    : pf(platform),
      options(std::move(opts)),
      paths(AppPaths::from(pf.files())),
      reg(pf.registry()),
      store(pf.files(), paths.backup_file),
      activity(pf.files(), pf.clock(), paths.log_file),
      ini(pf.files(), game_settings_path(pf.files()), path_join(paths.backup_dir, "GameUserSettings.original.ini")),
      engine(reg, store, pf, ini),
      ui(loop, activity, pf.shell()) {
    std::erase_if(options.args, [](const std::string& a) { return a.empty(); });
    tray_mode = has_tray_switch(options.args);
    loop.set_idle_hook([this] { flush_ui(); });
}

App::~App() {
    if (server_) server_->stop();
}

void App::set_splash(const std::string& text, double percent) {
    if (tray_mode) return;
    ui::set_splash(ui.tree(), text, percent);
    ui.update_ui();
}

void App::flush_ui() {
    if (!ui.tree().has_patches()) return;
    ui::Json patches = ui.tree().take_patches();
    if (server_) server_->broadcast(patches.dump(-1, ' ', false, ui::Json::error_handler_t::replace));
}

void App::fill_hardware_tiles() {
    auto& info = pf.system();
    try {
        auto cpus = info.cpu_names();
        if (!cpus.empty()) {
            std::string name = clean_cpu_name(cpus.front());
            ui("StatCpu").set_text(name);
            ui("TileCpuSub").set_text(name);
        }
    } catch (...) {
    }
    try {
        auto gpus = info.gpu_names();
        std::vector<std::string> real;
        for (auto& g : gpus)
            if (!matches_any(g, {"Basic", "Remote", "Virtual", "Parsec", "Mirror"})) real.push_back(g);
        std::stable_partition(real.begin(), real.end(),
                              [](const std::string& g) { return matches_any(g, {"NVIDIA", "Radeon", "RX ", "Arc"}); });
        if (!real.empty())
            ui("StatGpu").set_text(real.front());
        else if (!gpus.empty())
            ui("StatGpu").set_text(gpus.front());
    } catch (...) {
    }
    if (facts.ram_kb > 0) ui("StatRam").set_text(std::to_string(facts.ram_gb) + " GB");
    try {
        std::string caption = info.os_caption();
        for (size_t p; (p = caption.find("Microsoft ")) != std::string::npos;) caption.erase(p, 10);
        if (!caption.empty()) ui("StatOs").set_text(caption + "  \u00B7  build " + std::to_string(facts.build));
    } catch (...) {
    }
    ui("StatHz").set_text(std::to_string(facts.hz) + " Hz");
    ui("SideFortnite").set_text(facts.fortnite_exe ? "Fortnite detected. All game tweaks unlocked."
                                                   : "Fortnite not found. Some game tweaks are locked.");
    if (facts.is_laptop) ui("TxtHeroKicker").set_text("FORTNITE MODE  \u00B7  LAPTOP DETECTED");
}

void App::build_pages() {
    // A page appears once the catalog has tweaks for it.
    for (const char* page : {"System", "Latency", "Network", "Fortnite", "Debloat"})
        if (std::any_of(catalog.tweaks.begin(), catalog.tweaks.end(), [&](auto& t) { return t->page == page; }))
            ui::build_tweak_page(*this, page);
    if (auto* sub = ui.find("PageSub_Fortnite")) {
        auto root = fortnite_root(facts.fortnite_exe);
        sub->set_text(root ? "Detected at " + *root + ". Close Fortnite before changing video settings."
                           : "Fortnite was not found through the Epic Games Launcher, so install-specific tweaks are "
                             "locked. The rest still work.");
    }
    ui::wire_navigation(*this);
}

void App::start_up() {
    // Splash and the stages, in their fixed order.
    ui::build_splash(ui.tree(), "/logo.svg?s=" + secret, !tray_mode);
    set_splash("Reading your system", 5);
    try {
        pf.files().create_directories(paths.log_dir);
        pf.files().create_directories(paths.backup_dir);
    } catch (const std::exception&) {
    }
    store.load();
    facts = SystemFacts::read(pf.system(), reg, pf.files());
    engine.device_power().read_classes();
    register_operations(ops, {pf, reg, store, ini, facts});
    catalog = load_catalog(builtin_catalog_sources(), ops, {{"hz", std::to_string(facts.hz)}});

    set_splash("Loading tools", 30);

    set_splash("Building the interface", 40);
    ui::build_main_window(ui.tree(), "/logo.svg?s=" + secret, kAppVersion);
    ui::wire_window(*this);

    set_splash("Reading your hardware", 50);
    fill_hardware_tiles();

    set_splash("Checking network adapters", 58);
    engine.refresh_caches();

    set_splash("Checking every tweak", 70);
    engine.full_state_pass(catalog, [&](size_t i, size_t n) {
        if (auto step = ui::checking_step(i, n)) set_splash(step->text, step->percent);
    });

    set_splash("Building pages", 92);
    build_pages();
    try {
        initialize_applied_marks(reg, catalog);
    } catch (const std::exception&) {
    }

    set_splash("Ready", 100);
    size_t total = 0, available = 0;
    for (auto& t : catalog.tweaks) {
        if (t->kind == Kind::Startup) continue;
        ++total;
        if (t->available) ++available;
    }
    ui.log("Vexlo Tweaks " + std::string(kAppVersion) + " ready: " + std::to_string(available) + " of " +
           std::to_string(total) + " tweaks available on this PC.");
    if (!tray_mode) {
        ui("Main").set_visible(true);
        ui.set_window_visible(true);
    }
}

void App::content_rendered() {
    if (rendered_once_) return;
    rendered_once_ = true;
    if (auto* splash = ui.find("Splash")) splash->set_visible(false);
    // Written before any dialog, so closing the application during it does not show it again.
    auto last = settings::last_version(reg);
    try {
        settings::set_last_version(reg, kAppVersion);
    } catch (const std::exception&) {
    }
    if (!last) {
        ui.show_dialog("Welcome to Vexlo Tweaks", kWelcome, {"Let's go"}, "Information");
    } else if (*last != kAppVersion) {
        std::string body;
        for (const char* item : kWhatsNew) {
            if (!body.empty()) body += "\n\n";
            body += std::string("  -  ") + item;
        }
        ui.show_dialog("What's new in v" + std::string(kAppVersion), body, {"Nice"}, "Information");
    }
}

void App::show_window() {
    if (tray_mode) {
        tray_mode = false;
        ui("Main").set_visible(true);
    }
    ui.set_window_visible(true);
    if (server_ && server_->connections() == 0 && options.open_window) open_window();
    else
        ui.tree().push_op({{"op", "activate"}});
}

void App::open_window() {
    if (pf.shell().open_app_window(server_->url())) return;
    // No browser could be started for us: the user can still open the window by hand.
    pf.shell().message_box("Vexlo Tweaks",
                           "Vexlo Tweaks could not open its window.\n\nOpen this address in your browser:\n" +
                               server_->url(),
                           platform::MsgButtons::Ok, platform::MsgIcon::Warning);
}

void App::exit_app() {
    loop.stop_timer(booster_timer_);
    ui.tree().push_op({{"op", "close"}});
    flush_ui();
    loop.quit();
}

void App::handle_message(const std::string& text) {
    Json msg = Json::parse(text, nullptr, false);
    if (!msg.is_object()) return;
    std::string ev = msg.value("ev", "");
    if (ev == "rendered") {
        // The dialogs run a nested loop: let this message's handler return first.
        loop.post([this] { content_rendered(); });
        return;
    }
    if (ev == "key") {
        if (msg.value("value", "") == "Escape" && ui.dialog_open()) ui.end_dialog();
        return;
    }
    if (!msg.contains("id") || !msg["id"].is_number_integer()) return;
    ui.tree().dispatch(msg["id"].get<int>(), ev, msg.contains("value") ? msg["value"] : Json(nullptr));
}

int App::run() {
    // Elevation: a copy with administrator rights carries on; this one ends either way.
    if (!pf.system().is_elevated()) {
        pf.shell().relaunch_elevated(options.exe, join(options.args, " "));
        return 0;
    }
    // Single instance: a second start asks the first to show its window and ends.
    auto mutex = pf.named_objects().create_mutex("Local\\VexloTweaksApp");
    show_event_ = pf.named_objects().open_event("Local\\VexloTweaksShow");
    if (!mutex.created_new) {
        if (show_event_) show_event_->signal();
        return 0;
    }
    instance_mutex_ = std::move(mutex.handle);

    secret = ui::make_secret();
    ui::UiServerConfig cfg;
    cfg.port = options.port;
    cfg.secret = secret;
    cfg.index_html = ui::compose_index_html();
    if (auto logo = embedded_file("logo.svg")) cfg.logo_svg = std::string(*logo);
    server_ = std::make_unique<ui::UiServer>(
        loop, std::move(cfg), [this] { return ui.tree().snapshot().dump(-1, ' ', false, Json::error_handler_t::replace); },
        [this](const std::string& m) { handle_message(m); });
    server_->start();
    if (options.on_url) options.on_url(server_->url());
    if (!tray_mode && options.open_window) open_window();

    try {
        start_up();
    } catch (const CatalogError& e) {
        // Broken catalog data: say what and where, and stop.
        ui.tree().push_op({{"op", "close"}});
        flush_ui();
        pf.shell().message_box("Vexlo Tweaks", std::string("Vexlo Tweaks cannot start: ") + e.what(),
                               platform::MsgButtons::Ok, platform::MsgIcon::Error);
        server_->stop();
        throw;
    }

    // The one-second timer: the second start's signal brings the window forward.
    booster_timer_ = loop.add_timer(std::chrono::milliseconds(1000), [this] {
        if (show_event_ && show_event_->poll()) show_window();
    });
    loop.start_timer(booster_timer_);
    loop.run();
    server_->stop();
    return 0;
}

}  // namespace vexlo
