#pragma once
// The application: the parts it holds for its whole life, and its start-up sequence.
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/core/activity_log.h"
#include "app/core/backup_store.h"
#include "app/core/boost_timer.h"
#include "app/core/event_loop.h"
#include "app/core/ini_file.h"
#include "app/core/paths.h"
#include "app/core/reg.h"
#include "app/core/system_facts.h"
#include "app/core/tray_icon.h"
#include "app/tweaks/catalog_loader.h"
#include "app/tools/module.h"
#include "app/tweaks/engine.h"
#include "app/tweaks/tweak_service.h"
#include "app/ui/apply_ui.h"
#include "app/ui/tweak_switches.h"
#include "app/ui/ui.h"
#include "app/ui/ui_message.h"
#include "platform/platform.h"

namespace vexlo {

namespace ui {
class UiServer;
class MainView;
class LiveStats;
}

struct StartOptions {
    std::vector<std::string> args;  // the host's arguments
    std::string exe;                // the executable, for the elevated relaunch
    std::string root;               // the app folder; its assets\ holds logo.png and VexloTweaks.ico
    bool open_window = true;        // open the window in the browser when ready
    uint16_t port = 0;              // UI server port; 0 picks a free one
    // Prints the window's address once the server listens; without open_window, also each
    // later address (the tray's "Open", a second start), since no browser is started for it.
    std::function<void(const std::string&)> on_url;
    // Start-up only looks: no folder is made, no log line or applied mark is written, so a
    // listing or a preview leaves the PC exactly as it was.
    bool look_only = false;
    // Builds the window's content: splash, pages, tiles. Without it start-up reads, checks and
    // records exactly as it does with it, for a caller that shows no window (the command line).
    bool build_window = true;
    // Sees every batch of patches as the renderers get it (JSON text), with or without one.
    std::function<void(const std::string&)> on_patches;
    // Told of each start-up stage as it begins, with its splash text and percentage, after the
    // splash shows them; also in the tray and without the window, where no splash is shown.
    std::function<void(const std::string& text, double percent)> on_stage;
};

// Creates the parts of the application, connects them and runs them. Nothing outside reaches
// into its parts: the window and the command line see the change service, tools see their
// module context.
class App {
public:
    App(platform::Platform& pf, StartOptions options = {});
    ~App();
    App(const App&) = delete;
    App& operator=(const App&) = delete;

    // Elevation, single instance, server, start-up and the loop until exit. Returns the exit code.
    int run();

    // The start-up stages from "Reading your system" to "Ready" (no server, no loop).
    // Throws CatalogError when the catalog's data is broken.
    void start_up();
    // What runs once start-up is over, until exit: the tools, the one-second timer, the live
    // tiles (a start with the window) or the tray icon (a start in the tray). run() calls it
    // before its loop; a test without the loop calls it itself.
    void start_running();
    // Once the window has first drawn its content: splash away, first-run or what's-new dialog.
    void content_rendered();
    // The only way out: the booster's changes undone, the timers stopped, the tray icon
    // removed, the loop ended. Later calls do nothing.
    void exit_app();
    // Thread safe: asks the application thread to exit.
    void request_exit() {
        loop_.post([this] { exit_app(); });
    }

    // A message from the renderer (JSON text).
    void handle_message(const std::string& text);
    // Shows and raises the window (second start, tray): raises the one that is open, or opens
    // a new one at a fresh one-time address when it was closed.
    void show_window();
    // The main window is closed (its close button, or its page gone): with the booster on and
    // the tray allowed it goes on in the tray, otherwise the application exits.
    void close_main_window();
    // The number of renderers connected, as the UI server reports each change: a window whose
    // pages all went away and did not come back within kWindowGoneMs (a reload does) is closed.
    void renderers_changed(int count);
    static constexpr int kWindowGoneMs = 3000;
    bool exiting() const { return exiting_; }
    // The live tiles; null in a start without the window.
    ui::LiveStats* live_stats() { return live_.get(); }
    bool boost_timer_running() const { return boost_timer_ && boost_timer_->running(); }

    TweakService& tweaks() { return service_; }
    ui::Ui& window() { return ui_; }
    // Which switches on screen show which tweak.
    const ui::TweakSwitches& switches() const { return switches_; }
    // The shared operations of the tools and the bulk runs; each returns its result text and
    // reports in the status bar and the activity log.
    std::string new_restore_point();
    std::string restart_adapters();
    // Pages, counters, bulk runs, search: built by start-up unless it built no window.
    ui::MainView& view() { return *view_; }

private:
    void set_splash(const std::string& text, double percent);
    void flush_ui();
    // Opens the window in the browser at a fresh one-time address, or tells the user the
    // address when that fails.
    void open_window();
    void open_window(const std::string& url);
    // The window goes away and the application goes on in the tray.
    void hide_to_tray();
    // The tray menu's "Clean memory now".
    void clean_memory_now();
    // The game booster among the tools; null when this build has none.
    BoosterControl* booster();
    void fill_hardware_tiles();
    void build_pages();
    // The startup entries scanned again into the catalog, each one's state read.
    void rescan_startup_items();
    // Start-up's checks of backup.json against the catalog, and what the user is told of them.
    void check_backup_records();
    void tell_backup_damage();
    // Tweaks whose originals are held while they read as off: offered to be put back.
    void offer_unfinished_changes();

    platform::Platform& pf_;
    StartOptions options_;
    EventLoop loop_;
    AppPaths paths_;
    Reg reg_;
    BackupStore store_;
    ActivityLog activity_;
    SystemFacts facts_;
    Operations ops_;
    Catalog catalog_;
    IniFile ini_;
    Engine engine_;
    TweakService service_;
    ui::Ui ui_;
    ui::WindowFront front_;
    ui::TweakSwitches switches_;
    std::unique_ptr<ui::MainView> view_;
    ModuleRunner modules_;

    bool tray_mode_ = false;
    bool started_in_tray_ = false;
    ui::DroppedMessages dropped_messages_;  // bad renderer messages, logged without flooding
    std::unique_ptr<ui::UiServer> server_;
    std::unique_ptr<platform::NamedMutex> instance_mutex_;
    std::unique_ptr<platform::NamedEvent> show_event_;
    std::unique_ptr<BoostTimer> boost_timer_;
    bool rendered_once_ = false;
    std::unique_ptr<ui::LiveStats> live_;
    TrayIcon tray_;
    bool exiting_ = false;
    bool exited_ = false;
    bool tray_hinted_ = false;  // the one-time balloon was shown in this run
    bool page_closed_ = false;  // the window's page was told to close: a new one is opened
    bool running_ = false;      // start-up is over
    int renderers_ = 0;
    EventLoop::TimerId window_gone_timer_ = 0;
};

// True when the argument list holds "--tray" as a whole element, in any case.
bool has_tray_switch(const std::vector<std::string>& args);

// When this program runs as another account than the one signed in at the desktop (elevated
// with another administrator's password): the words that tell the user, for the window's start
// and the command line alike. nullopt when the accounts are the same or cannot be told.
std::optional<std::string> wrong_account_message(platform::SystemInfo& system);

}  // namespace vexlo
