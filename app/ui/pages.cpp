#include "app/ui/pages.h"

#include <algorithm>

#include "app/tweaks/page_table.h"
#include "app/ui/cards.h"
#include "app/ui/layout_helpers.h"

namespace vexlo::ui {

namespace {

std::string upper(std::string s) {
    for (char& c : s)
        if (c >= 'a' && c <= 'z') c = char(c - 32);
    return s;
}

std::string without_blanks(std::string s) {
    std::erase(s, ' ');
    return s;
}

struct FixedTip {
    const char* page;
    const char* group;
    const char* title;
    const char* body;
};

const FixedTip kTips[] = {
    {"Latency", "Controller", "Play wired",
     "A USB cable polls at up to 1000 Hz. Bluetooth adds roughly 5-10 ms and can stutter. For wireless pads, the USB "
     "dongle beats Bluetooth."},
    {"Latency", "Controller", "Controller edit delay lives in Fortnite",
     "Set Edit Hold Time to its lowest value and turn on Build Immediately. See the pro settings guide on the Fortnite "
     "page."},
    {"Network", "Wi-Fi adapter", "Ethernet beats every Wi-Fi tweak",
     "Wi-Fi shares the air with every device nearby, so it always has more jitter. If a cable is not possible, use 5 "
     "GHz and keep line of sight to the router."},
    {"Debloat", "Browser & Office background", "Browser policies",
     "These use the same settings companies use, so Edge and Chrome will say \"Managed by your organization\". That "
     "is expected and goes away when you switch them off."},
};

struct GuideRow {
    const char* setting;
    const char* value;
    const char* note;
};

struct GuideCard {
    const char* heading;
    std::vector<GuideRow> rows;
};

const GuideCard kGuide[] = {
    {"Building & editing (keyboard and mouse)",
     {{"Turbo Building", "On", "Hold to place walls and floors continuously."},
      {"Confirm Edit on Release", "On", "Edits confirm the instant you let go of the key. Fastest edits."},
      {"Disable Pre-Edit Option", "On", "Edit mode opens straight away with no pre-selected tile."},
      {"Reset Building Choice", "Off", "Your last-used piece stays selected."},
      {"Auto Material Change", "On", "Swaps material automatically when you run out."}}},
    {"Controller",
     {{"Controller layout", "Builder Pro", "Fastest layout for building and editing."},
      {"Build Immediately", "On", "Pieces place on a single press."},
      {"Edit Hold Time", "Lowest (0.100)", "This is the controller \"edit delay\". Lowest is fastest."},
      {"Look Deadzone", "As low as possible", "Lower until just before your stick starts drifting."},
      {"Use Advanced Options", "On", "Unlocks separate build and edit sensitivity."}}},
    {"Video",
     {{"Window Mode", "Fullscreen", "Lowest input lag. Set by the True fullscreen toggle above."},
      {"Frame Rate Limit", "Refresh rate or higher", "Set by the FPS cap toggle above."},
      {"Rendering Mode", "Performance / DX12", "Performance for low and mid PCs, DirectX 12 for high-end."},
      {"NVIDIA Reflex Low Latency", "On + Boost", "The biggest single input-lag win on NVIDIA cards."},
      {"Motion Blur", "Off", "Set by the toggle above."}}},
    {"Network",
     {{"Matchmaking Region", "Lowest ping", "Pick the region with the lowest number, not the closest name."},
      {"Net Debug Stats", "On", "Shows ping and packet loss in-game so you can spot trouble."},
      {"Connection", "Ethernet", "Wi-Fi adds jitter that no tweak can fully remove."}}},
};

void new_guide_card(Element& parent, const GuideCard& g) {
    Element& card = box(parent, {{"margin-bottom", "10px"}, {"padding", "14px 18px 8px 18px"}}, "", "Card");
    new_text(card, g.heading, 13.5, "#F5F1EA", "semibold");
    for (auto& r : g.rows) {
        Element& line = row(card, {{"margin-top", "9px"}, {"align-items", "flex-start"}});
        styled(new_text(line, r.setting, 12.5, "#D9D3C9", "semibold"), {{"width", "220px"}, {"flex", "none"}});
        styled(new_text(line, r.value, 12.5, "#FBBE24", "bold"), {{"width", "200px"}, {"flex", "none"}});
        styled(new_text(line, r.note, 12, "#8F897F"), {{"flex", "1"}});
    }
}

// The tweak a card shows, through its switch; null for tips, actions and guide cards.
const Tweak* card_tweak(const Catalog& cat, const Element& card) {
    const Element* sw = card.tag_element;
    return sw && sw->type() == "toggle" ? cat.find(sw->tag) : nullptr;
}

const PageInfo kSearchPage{"Search", "Search", "Search", "", "E721", "", false, false, false};

}  // namespace

bool passes_filter(const Tweak& t, std::string_view filter) {
    if (filter == "Not active") return t.available && !t.state;
    if (filter == "High impact") return t.impact == "High";
    if (filter == "Advanced") return t.adv || t.manual;
    if (filter == "Unavailable") return !t.available;
    return true;
}

PageSet::PageSet(Ui& ui, const Catalog& catalog, TweakSwitches& switches, ActionMap& actions, PageHandlers handlers)
    : ui_(ui), catalog_(catalog), switches_(switches), actions_(actions), handlers_(std::move(handlers)) {}

void PageSet::create_all() {
    for (const PageInfo& p : builtin_pages().pages)
        if (p.name != "Home") new_page(p.name);
    new_page("Search");
}

PageRecord& PageSet::new_page(const std::string& name) {
    const PageInfo* found = name == "Search" ? &kSearchPage : builtin_pages().find(name);
    const PageInfo& info = found ? *found : kSearchPage;
    Element& host = ui_("HostGrid");
    PageRecord rec;
    rec.scroll = &host.add("scroll", "Page_" + name);
    rec.scroll->set_visible(false);
    Element& content = box(*rec.scroll, {{"margin", "0 16px 30px 0"}});
    Element& header = row(content, {{"align-items", "flex-end"}});
    Element& left = box(header, {{"flex", "1"}});
    text(left, info.title, {}, "", "PageTitle");
    rec.sub = &text(left, info.subtitle, {}, "PageSub_" + name, "PageSub");
    Element& right = row(header, {{"margin", "0 0 2px 20px"}});
    Element& chip = box(right, {}, "", "CounterChip");
    rec.counter = &text(chip, "", {}, "Counter_" + name, "CounterText");
    chip.set_visible(info.chip);

    auto button = [&](const char* label, const char* element, const char* cls, const char* margin,
                      const std::function<void(const std::string&)>& what) {
        Element& b = right.add("button", std::string(element) + name, cls);
        b.set_text(label);
        b.css("margin-left", margin);
        b.tag = name;
        b.on("click", [what](Element& e, const Json&) {
            if (what) what(e.tag);
        });
        return &b;
    };
    if (info.tweaks) {
        button("Apply recommended", "BtnRecommended_", "Btn BtnPrimary", "10px", handlers_.apply_recommended);
        Element* all = button("Apply everything", "BtnEverything_", "Btn", "8px", handlers_.apply_everything);
        all->css("border-color", "#7A5A1A");
        all->css("color", "#FBBE24");
        button("Revert page", "BtnRevert_", "Btn", "8px", handlers_.revert_page);
    } else if (name == "Startup" || name == "Apps") {
        auto& rescan = name == "Startup" ? handlers_.rescan_startup : handlers_.rescan_apps;
        button("Rescan", "BtnRescan_", "Btn", "10px", [&rescan](const std::string&) {
            if (rescan) rescan();
        });
    }

    if (info.tweaks) {
        Element& chips = row(content, {{"flex-wrap", "wrap"}, {"margin-top", "16px"}, {"gap", "8px"}});
        for (const char* f : kFilters) {
            Element& c = chips.add("chip", "Filter_" + name + "_" + without_blanks(f), "Chip");
            c.set_text(f);
            c.tag = name + "|" + f;
            c.set_checked(std::string_view(f) == "All");
            c.on("click", [this, name, f](Element&, const Json&) {
                // A radio chip already chosen stays as it is: the page keeps its scroll and folds.
                if (page_filter(name) == f) return;
                set_page_filter(name, f);
            });
        }
    }
    rec.list = &box(content, {{"margin-top", "4px"}}, "List_" + name);
    order_.push_back(name);
    return pages_[name] = rec;
}

GroupBlock& PageSet::new_group_block(const std::string& page, const std::string& group, bool plain, bool first) {
    Element& list = *pages_.at(page).list;
    GroupBlock b;
    b.page = page;
    b.group = group;
    b.plain = plain;
    Element& header = row(list, {{"margin", first ? "8px 0 9px 2px" : "20px 0 9px 2px"}, {"background", "transparent"}});
    b.header = &header;
    if (!plain) {
        header.css("cursor", "pointer");
        header.set("clickable", true);
        b.chevron = &glyph(header, "E70D", {{"font-size", "10px"}, {"color", "#8F7A4E"}, {"margin-right", "10px"}}, "",
                           "GroupChevron");
    }
    text(header, upper(group), {}, "", "GroupName");
    if (!plain) {
        Element& counter = text(header, "", {{"margin-left", "10px"}}, "", "GroupCounter");
        group_counters_[page + "|" + group] = &counter;
        if (page != "Startup") {
            box(header, {{"flex", "1"}});
            Element& link = header.add("button", "", "BtnLink");
            link.set_text("Apply group");
            link.tag = page + "|" + group;
            link.on("click", [this, page, group](Element&, const Json&) {
                if (handlers_.apply_group) handlers_.apply_group(page, group);
            });
        }
    }
    b.body = &box(list);
    if (!plain) {
        // A release of the left button on the header folds the group; one on its link never
        // reaches here (the renderer sends the link's click instead).
        header.on("mouseup", [body = b.body, chevron = b.chevron](Element&, const Json& button) {
            if (button != 0) return;
            if (body->visible()) {
                body->set_visible(false);
                chevron->set("glyph", "E76C");
            } else {
                body->set_visible(true);
                chevron->set("glyph", "E70D");
                body->fade(0, 1, 160);
            }
        });
    }
    auto& list_of_page = blocks_[page];
    list_of_page.push_back(b);
    return list_of_page.back();
}

void PageSet::add_tools(const std::string& page, bool first) {
    auto tools = actions_.of_page(page);
    if (tools.empty()) return;
    GroupBlock& block = new_group_block(page, "Tools", /*plain=*/true, first);
    for (Action* a : tools) new_action_card(*block.body, *a, handlers_.on_action);
}

void PageSet::build_tweak_page(const std::string& page) {
    PageRecord* rec = this->page(page);
    if (!rec) return;
    clear_cards(*rec->list, switches_);
    blocks_[page].clear();
    std::erase_if(group_counters_, [&](auto& kv) { return kv.first.starts_with(page + "|"); });

    std::vector<std::string> groups;
    for (auto& t : catalog_.tweaks)
        if (t->page == page && std::find(groups.begin(), groups.end(), t->group) == groups.end())
            groups.push_back(t->group);
    for (size_t g = 0; g < groups.size(); ++g) {
        GroupBlock& block = new_group_block(page, groups[g], /*plain=*/false, g == 0);
        Element& body = *block.body;
        for (auto& tip : kTips)
            if (page == tip.page && groups[g] == tip.group) new_tip_card(body, tip.title, tip.body);
        for (auto& t : catalog_.tweaks)
            if (t->page == page && t->group == groups[g]) new_tweak_card(body, *t, switches_, handlers_.on_toggle);
    }
    add_tools(page, groups.empty());
}

void PageSet::build_startup_page() {
    PageRecord* rec = page("Startup");
    if (!rec) return;
    clear_cards(*rec->list, switches_);
    blocks_["Startup"].clear();
    std::erase_if(group_counters_, [](auto& kv) { return kv.first.starts_with("Startup|"); });
    std::vector<const Tweak*> items;
    for (auto& t : catalog_.tweaks)
        if (t->kind == Kind::Startup) items.push_back(t.get());
    if (items.empty()) {
        new_tip_card(*rec->list, "Nothing starts with Windows", "No startup apps were found. Clean.");
        return;
    }
    new_tip_card(*rec->list, "Good to block",
                 "Launchers and chat apps you can open yourself: Steam, Discord, Spotify, Epic Games Launcher, OneDrive, "
                 "Teams, Edge, Adobe. Keep anything marked DRIVER / HARDWARE unless you know you do not need it.");
    for (const char* group : {"Your account", "All users"}) {
        if (std::none_of(items.begin(), items.end(), [&](const Tweak* t) { return t->group == group; })) continue;
        // Below the tip: the plain top margin of a group, also for the first.
        GroupBlock& block = new_group_block("Startup", group, /*plain=*/false, /*first=*/false);
        for (const Tweak* t : items)
            if (t->group == group) new_tweak_card(*block.body, *t, switches_, handlers_.on_toggle);
    }
}

void PageSet::build_fortnite_guide() {
    PageRecord* rec = page("Fortnite");
    if (!rec) return;
    // The guide's header is a group of the page without cards of its own: it hides under every
    // filter but "All", while the tip and the guide cards below stand in no group.
    GroupBlock& block = new_group_block("Fortnite", "Pro in-game settings", /*plain=*/true, blocks_["Fortnite"].empty());
    rec->list->remove_child(*block.body);
    block.body = nullptr;
    new_tip_card(*rec->list, "Why these are not toggles",
                 "Fortnite saves gameplay settings (building, editing, controller) to your Epic account, not to your PC, "
                 "so no app can change them. Set these in-game. Your real edit speed comes from ping, FPS and input lag, "
                 "which the tweaks in this app handle.");
    for (auto& g : kGuide) new_guide_card(*rec->list, g);
}

void PageSet::set_page_filter(const std::string& page, const std::string& filter) {
    auto it = blocks_.find(page);
    if (it == blocks_.end() || it->second.empty()) return;
    filters_[page] = filter;
    const bool all = filter == "All";
    // The chips of a page are one radio group.
    for (const char* f : kFilters)
        if (Element* chip = ui_.find("Filter_" + page + "_" + without_blanks(f))) chip->set_checked(filter == f);
    for (GroupBlock& b : it->second) {
        bool any = false;
        if (b.body) {
            for (Element* card : b.body->children()) {
                const Tweak* t = card_tweak(catalog_, *card);
                bool show = t ? passes_filter(*t, filter) : all;
                card->set_visible(show);
                any = any || show;
            }
        }
        b.header->set_visible(all || any);
        if (!b.body) continue;
        if (!all) {
            b.body->set_visible(any);
            if (any && b.chevron) b.chevron->set("glyph", "E70D");
        } else if (!b.body->visible()) {
            // What the user folded stays folded; what a filter folded opens again.
            bool user_folded = b.chevron && b.chevron->get("glyph") == "E76C";
            if (b.plain || !user_folded) b.body->set_visible(true);
        }
    }
    if (auto* rec = this->page(page)) rec->scroll->scroll_to_top();
}

const std::string& PageSet::page_filter(const std::string& page) const {
    static const std::string all = "All";
    auto it = filters_.find(page);
    return it == filters_.end() ? all : it->second;
}

PageRecord* PageSet::page(const std::string& name) {
    auto it = pages_.find(name);
    return it == pages_.end() ? nullptr : &it->second;
}

const std::vector<GroupBlock>& PageSet::blocks(const std::string& page) const {
    static const std::vector<GroupBlock> none;
    auto it = blocks_.find(page);
    return it == blocks_.end() ? none : it->second;
}

}  // namespace vexlo::ui
