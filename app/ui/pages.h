#pragma once
// The tweak pages: a page per catalog page, its group blocks and cards, and the rail that
// switches between pages.
#include <functional>
#include <string>

#include "app/tweaks/tweak.h"
#include "app/ui/tweak_switches.h"
#include "app/ui/ui.h"

namespace vexlo::ui {

// What building a tweak page needs: the window, the catalog to show, where its switches are
// registered and what a click on one does.
struct PageBuild {
    Ui& ui;
    const Catalog& catalog;
    TweakSwitches& switches;
    std::function<void(Element&)> on_toggle;
};

// Creates the page (collapsed) in the page host and fills it from the catalog, group by group.
void build_tweak_page(const PageBuild& build, const std::string& page);
// Navigation rail: selecting an entry shows its page.
void wire_navigation(Ui& ui);
void show_page(Ui& ui, const std::string& page);

}  // namespace vexlo::ui
