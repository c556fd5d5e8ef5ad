#pragma once
// The game booster. While its switch is on, a tick once a second holds a fine system timer,
// watches for Fortnite and, the moment the game starts, raises it, lowers launchers, browsers
// and sync tools, closes the apps the player picked and flushes the standby memory list; it
// also flushes that list whenever free memory runs low. What it lowers goes back when the game
// exits, when the booster is switched off and at exit. It keeps working while the window sits
// in the tray, and it can be started with Windows by a scheduled task.
//
// The module's jobs, one file each: the state and the native steps (booster.cpp), the tick
// (booster_tick.cpp), the page (booster_page.cpp), the start-with-Windows task
// (boost_startup.cpp). The options live in app/core/booster_options.h.
#include <array>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>

#include "app/tools/module.h"

namespace vexlo::booster {

// Process names compare without extension and without regard to case.
inline constexpr std::string_view kGameName = "FortniteClient-Win64-Shipping";
inline constexpr std::string_view kTaskName = "Vexlo Tweaks Booster";

// Lowered from Normal to BelowNormal when the game starts, in this order.
inline constexpr std::array<std::string_view, 24> kLowerNames = {
    "OneDrive",      "Teams",          "ms-teams",          "Spotify",       "steam",           "steamwebhelper",
    "EpicGamesLauncher", "EpicWebHelper", "msedge",          "chrome",        "firefox",         "brave",
    "opera",         "Dropbox",        "GoogleDriveFS",     "iCloudDrive",   "AdobeCollabSync", "Creative Cloud",
    "CCXProcess",    "Widgets",        "WidgetService",     "PhoneExperienceHost", "SearchApp",  "SearchHost"};

// The apps the player may have closed when the game starts: the key shown (and stored in
// CloseList) and the processes it stands for, in the order the page shows them.
struct CloseChoice {
    std::string_view key;
    std::array<std::string_view, 3> names;  // unused places are empty
};
inline constexpr std::array<CloseChoice, 10> kCloseChoices = {{
    {"OneDrive", {"OneDrive"}},
    {"Teams", {"Teams", "ms-teams"}},
    {"Edge", {"msedge"}},
    {"Chrome", {"chrome"}},
    {"Spotify", {"Spotify"}},
    {"Steam", {"steam", "steamwebhelper"}},
    {"Dropbox", {"Dropbox"}},
    {"Adobe CC", {"Creative Cloud", "CCXProcess", "AdobeCollabSync"}},
    {"Widgets", {"Widgets", "WidgetService"}},
    {"Phone Link", {"PhoneExperienceHost"}},
}};

// What the booster did in this run; nothing of it is kept between runs.
struct BoostState {
    bool timer_held = false;   // this process holds a timer-resolution request
    uint32_t timer_res = 0;    // the resolution requested with the hold, to release the same one
    bool fn_running = false;   // the game was there at the last tick while the booster was on
    std::map<uint32_t, bool> lowered;  // processes this booster moved from Normal to BelowNormal
    int purges = 0;            // successful standby purges
    // When the last purge was attempted (steady milliseconds), successful or not; none yet.
    std::optional<int64_t> last_purge;
    int closed = 0;            // processes found under a picked name, stopped or not
    int64_t tick = 0;          // ticks so far, those of page clicks included
};

inline constexpr uint64_t kGiB = 1024ull * 1024 * 1024;
// Unforced purges are at least this far apart.
inline constexpr int64_t kPurgeSpacingMs = 30'000;

// Free memory below this many bytes lets the standby check purge: 10 % of the installed
// memory (whole GiB), at least 1 GiB; 1 GiB when the size is unknown (0).
double free_memory_limit(int ram_gb);
// The system timer resolution (100 ns units) as the page shows it: "0.5 ms", "1 ms",
// "15.625 ms" (up to three decimals, "." as the mark).
std::string timer_text(uint32_t units);
// A process's image name without its extension: "steam.exe" -> "steam".
std::string_view process_stem(std::string_view image);

class BoosterModule final : public Module, public BoosterControl {
public:
    BoosterModule();
    ~BoosterModule() override;

    std::string_view name() const override { return "booster"; }
    // Remembers where the pages live; the page itself is built by start(), which has the
    // options and the PC.
    void build_page(ui::Element& host) override;
    void start(ModuleContext& ctx) override;
    void stop() override;
    BoosterControl* booster() override { return this; }

    bool clean_memory_now() override;
    void release() override;

    // One tick. Failures raise: every caller catches them (see tick_guarded).
    void tick();
    // Takes (on) or releases the timer-resolution hold.
    void set_timer_hold(bool on);
    // Puts the processes this booster lowered back to Normal, where they still are BelowNormal.
    void restore_lowered();
    // One purge of the standby list; unless forced, at most one every 30 seconds. True on success.
    bool standby_purge(bool force);
    // The current system timer resolution as text; "n/a" without the native booster calls.
    std::string timer_now();

    // The start-with-Windows task exists.
    bool startup_registered();
    // Registers or removes that task. Throws on failure.
    void set_startup(bool on);

    // The rail's badge, the Home button and, when the page is built, its hero.
    void update_ui();

    const BoostState& state() const { return s_; }
    // The native booster calls could be bound at start.
    bool available() const { return ok_; }

private:
    Reg& settings();
    platform::Platform& pf();
    // A tick whose failure is logged, for the page's handlers and start.
    void tick_guarded();
    // A start that finds the task pointing anywhere but at a current protected copy mends it.
    void mend_startup_task();
    void drop_unprotected_task();

    void add_purge_action();
    std::string run_purge_action();
    // Waits `ms` of the platform's time, the window kept alive.
    void pause(int ms);

    void build_booster_page();
    ui::Element& new_boost_row(ui::Element& parent, std::string_view title, std::string_view desc,
                               std::string_view option, uint32_t fallback, std::string_view impact);
    void on_master(bool on);
    void on_option(ui::Element& toggle, std::string_view title);
    void on_resolution(uint32_t res);
    void on_close_choice(ui::Element& chip);
    void on_startup(ui::Element& toggle);
    bool page_on_screen() const;

    std::optional<ModuleContext> ctx_;
    ui::ActionMap own_actions_;  // without a window's action table
    ui::ActionMap* actions_ = nullptr;
    ui::Element* host_ = nullptr;
    bool ok_ = false;
    int ram_gb_ = 0;
    bool stopped_ = false;
    BoostState s_;

    // The page's elements; null until built (and all but `page` while only the tip shows).
    struct PageUi {
        ui::Element* page = nullptr;  // the page's scroll area
        ui::Element* state = nullptr;
        ui::Element* line1 = nullptr;
        ui::Element* line2 = nullptr;
        ui::Element* master = nullptr;
    } ui_;
};

}  // namespace vexlo::booster
