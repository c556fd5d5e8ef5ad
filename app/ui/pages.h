#pragma once
// Every page but Home: a header (title, subtitle, counter chip, the page's buttons), for tweak
// pages a row of filter chips, and a list filled group by group from the catalog, with the
// page's one-click tools at the end. Also the Startup page and the Fortnite page's guide.
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "app/tweaks/tweak.h"
#include "app/ui/actions.h"
#include "app/ui/tweak_switches.h"
#include "app/ui/ui.h"

namespace vexlo::ui {

struct PageRecord {
    Element* scroll = nullptr;   // "Page_<name>", collapsed at creation
    Element* list = nullptr;     // what the builders fill
    Element* counter = nullptr;  // the counter chip's text
    Element* sub = nullptr;      // the subtitle
};

struct GroupBlock {
    Element* header = nullptr;
    Element* body = nullptr;
    Element* chevron = nullptr;  // null for a plain group
    std::string page, group;
    bool plain = false;
};

// What the page's controls do; the pages only build and filter.
struct PageHandlers {
    std::function<void(Element&)> on_toggle;  // a tweak switch
    std::function<void(Element&)> on_action;  // an action button
    std::function<void(const std::string& page)> apply_recommended, apply_everything, revert_page;
    std::function<void(const std::string& page, const std::string& group)> apply_group;
    std::function<void()> rescan_startup, rescan_apps;
};

inline constexpr const char* kFilters[] = {"All", "Not active", "High impact", "Advanced", "Unavailable"};
// Whether a tweak shows under a filter chip.
bool passes_filter(const Tweak& t, std::string_view filter);

class PageSet {
public:
    PageSet(Ui& ui, const Catalog& catalog, TweakSwitches& switches, ActionMap& actions, PageHandlers handlers);

    // Every page of the page table but Home, then Search, in the order of the rail.
    void create_all();
    PageRecord& new_page(const std::string& name);
    GroupBlock& new_group_block(const std::string& page, const std::string& group, bool plain, bool first);

    // Groups in catalog order with their cards and tips, then the page's "Tools".
    void build_tweak_page(const std::string& page);
    // The startup entries now in the catalog (already rescanned and tested by the caller).
    void build_startup_page();
    void build_fortnite_guide();

    void set_page_filter(const std::string& page, const std::string& filter);
    // The page's chosen filter ("All" until one is chosen).
    const std::string& page_filter(const std::string& page) const;

    PageRecord* page(const std::string& name);
    const std::vector<GroupBlock>& blocks(const std::string& page) const;
    // "page|group" -> the counter text of that group's header (collapsible groups only).
    const std::map<std::string, Element*>& group_counters() const { return group_counters_; }
    const std::vector<std::string>& names() const { return order_; }

private:
    void add_tools(const std::string& page, bool first);

    Ui& ui_;
    const Catalog& catalog_;
    TweakSwitches& switches_;
    ActionMap& actions_;
    PageHandlers handlers_;
    std::map<std::string, PageRecord> pages_;
    std::vector<std::string> order_;
    std::map<std::string, std::vector<GroupBlock>> blocks_;
    std::map<std::string, Element*> group_counters_;
    std::map<std::string, std::string> filters_;
};

}  // namespace vexlo::ui
