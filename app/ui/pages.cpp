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

Element& new_page(Tree& tree, const PageInfo& info, Element*& list) {
    Element& host = *tree.find("HostGrid");
    Element& scroll = host.add("scroll", "Page_" + info.name);
    scroll.set_visible(false);
    Element& content = box(scroll, {{"margin", "0 16px 30px 0"}});
    Element& header = row(content, {{"align-items", "flex-end"}});
    Element& left = box(header, {{"flex", "1"}});
    text(left, info.title, {}, "", "PageTitle");
    text(left, info.subtitle, {}, "PageSub_" + info.name, "PageSub");
    Element& chip = box(header, {{"margin", "0 0 2px 20px"}}, "", "CounterChip");
    text(chip, "", {}, "Counter_" + info.name, "CounterText");
    list = &box(content, {{"margin-top", "4px"}}, "List_" + info.name);
    return scroll;
}

// A collapsible group: header with chevron and counter; a release on it folds the body.
Element& new_group_block(Element& list, const std::string& group, bool first) {
    Element& header = row(list, {{"margin", first ? "8px 0 9px 2px" : "20px 0 9px 2px"}, {"cursor", "pointer"}});
    header.set("clickable", true);
    Element& chevron = glyph(header, "E70D", {}, "", "GroupChevron");
    text(header, upper(group), {}, "", "GroupName");
    text(header, "", {}, "", "GroupCounter");
    Element& body = box(list);
    header.tag_element = &body;
    header.on("mouseup", [&chevron](Element& h, const Json&) {
        Element& b = *h.tag_element;
        if (b.visible()) {
            b.set_visible(false);
            chevron.set("glyph", "E76C");
        } else {
            b.set_visible(true);
            chevron.set("glyph", "E70D");
            b.fade(0, 1, 160);
        }
    });
    return body;
}

}  // namespace

void build_tweak_page(const PageBuild& build, const std::string& page) {
    const PageInfo* info = builtin_pages().tweak_page(page);
    if (!info) return;
    Element* list = nullptr;
    if (!build.ui.find("Page_" + page)) new_page(build.ui.tree(), *info, list);
    list = build.ui.find("List_" + page);
    clear_cards(*list, build.switches);

    std::vector<std::string> groups;
    for (auto& t : build.catalog.tweaks)
        if (t->page == page && std::find(groups.begin(), groups.end(), t->group) == groups.end())
            groups.push_back(t->group);
    for (size_t g = 0; g < groups.size(); ++g) {
        Element& body = new_group_block(*list, groups[g], g == 0);
        for (auto& t : build.catalog.tweaks)
            if (t->page == page && t->group == groups[g]) new_tweak_card(body, *t, build.switches, build.on_toggle);
    }
}

void show_page(Ui& ui, const std::string& page) {
    Element* target = ui.find("Page_" + page);
    if (!target) return;
    for (Element* p : ui("HostGrid").children()) p->set_visible(p == target);
    for (const PageInfo& p : builtin_pages().pages)
        if (auto* nav = ui.find("Nav_" + p.name)) nav->set_checked(page == p.name);
}

void wire_navigation(Ui& ui) {
    for (const PageInfo& p : builtin_pages().pages) {
        Element* nav = ui.find("Nav_" + p.name);
        if (!nav) continue;
        nav->on("click", [&ui](Element& e, const Json&) {
            // Pages that are not built yet keep the current page on screen.
            std::string current;
            for (Element* p : ui("HostGrid").children())
                if (p->visible()) current = p->name().substr(5);
            show_page(ui, ui.find("Page_" + e.tag) ? e.tag : current);
        });
    }
}

}  // namespace vexlo::ui
