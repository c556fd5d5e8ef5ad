#pragma once
// The window's behaviour beyond the single switch: pages and their buttons, counters and the
// readiness score, bulk runs with their questions and reports, profiles, the one-click tools,
// navigation and search. It talks to tweaks only through the change service.
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "app/core/activity_log.h"
#include "app/core/event_loop.h"
#include "app/tweaks/tweak_service.h"
#include "app/tweaks/tweak_sets.h"
#include "app/ui/actions.h"
#include "app/ui/apply_ui.h"
#include "app/ui/pages.h"
#include "app/ui/tweak_switches.h"
#include "app/ui/ui.h"

namespace vexlo::ui {

// What the view needs of the application around it.
struct ViewDeps {
    EventLoop& loop;
    Ui& ui;
    TweakService& tweaks;
    WindowFront& front;
    TweakSwitches& switches;
    ActivityLog& activity;
    // The shared operations; each returns its result text.
    std::function<std::string()> new_restore_point;
    std::function<std::string()> restart_adapters;
    // The active power plan's name; nullopt when it cannot be read.
    std::function<std::optional<std::string>()> power_plan_name;
    // Scans the startup entries into the catalog again and reads their state.
    std::function<void()> rescan_startup_items;
    std::function<void()> minimise_window;
    // The first visit of the Apps page loads its list.
    std::function<void()> load_apps;
};

class MainView {
public:
    explicit MainView(ViewDeps deps);
    ~MainView();
    MainView(const MainView&) = delete;
    MainView& operator=(const MainView&) = delete;

    // The tools, every page in its order, the guide, the Startup page, and the handlers of the
    // rail, the search box, the top bar and the Home buttons. The main window must exist.
    void build();

    // Counters, score and the Home texts from the tweaks' current readings.
    void update_counters();
    // The Home list of the biggest wins left.
    void build_wins();
    // Every tweak read again (caches first), every switch and counter updated.
    void refresh_all();

    void show_page(const std::string& name);
    const std::string& last_page() const { return last_page_; }

    // A tweak switch was clicked (its tag is the tweak's id, its position the wanted state).
    void on_toggle(Element& toggle);
    void invoke_bulk(const std::vector<Tweak*>& list, BulkMode mode, bool quiet = false);
    void invoke_page_bulk(const std::string& page, BulkMode mode);
    void invoke_page_all(const std::string& page);
    void invoke_profile(Profile p);
    // "Rescan" on the Startup page.
    void rescan_startup();

    // The search box's text changed; the search runs when typing pauses.
    void search_text_changed(const std::string& text);
    // The search itself, as the pause timer runs it.
    void run_search();

    PageSet& pages() { return *pages_; }
    ActionMap& actions() { return actions_; }

private:
    void add_actions();
    void wire_chrome();
    // A confirmation that also offers "Show changes": the values the set would change, listed
    // in a dialog of their own; closing it comes back to the confirmation.
    std::string confirm_with_changes(const std::string& title, const std::string& body,
                                     std::vector<std::string> buttons, const std::string& icon,
                                     const std::vector<Tweak*>& set);
    std::string changes_text(const std::vector<Tweak*>& set);

    ViewDeps d_;
    ActionMap actions_;
    std::unique_ptr<PageSet> pages_;
    std::string last_page_ = "Home";
    bool apps_loaded_ = false;
    EventLoop::TimerId search_timer_ = 0;
};

// At most this many tweak and action hits are listed.
inline constexpr size_t kSearchTweakHits = 60;
inline constexpr size_t kSearchActionHits = 10;
// The text of a tweak that a search matches against: title, description, group and page.
// Letters compare by simple case folding over UTF-8 text (Latin, Greek and Cyrillic letters;
// see main_view.cpp for the ranges).
bool search_matches(std::string_view haystack, std::string_view query);

}  // namespace vexlo::ui
