#pragma once
// Building blocks of every list: the row shell, tweak cards and tip cards.
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "app/tweaks/tweak.h"
#include "app/ui/element.h"
#include "app/ui/tweak_switches.h"

namespace vexlo::ui {

struct PillSpec {
    std::string text, background, colour, border;  // border empty: none
};

struct RowShell {
    Element* card = nullptr;
    Element* desc = nullptr;
    Element* result = nullptr;
};

std::string impact_colour(std::string_view impact);
// Pills in the order impact, ADVANCED, RESTART.
std::vector<PillSpec> tweak_pills(const Tweak& t);

Element& new_text(Element& parent, std::string_view text, double size, std::string_view colour,
                  std::string_view weight = "normal", bool wrap = true);
Element& new_pill(Element& parent, const PillSpec& pill);
// Builds the row in `parent`; `control` fills the right-hand column.
RowShell new_row_shell(Element& parent, std::string_view title, std::string_view desc,
                       const std::vector<PillSpec>& pills, const std::function<void(Element&)>& control,
                       std::string_view stripe);
// A tweak card whose switch is registered in `switches`; `on_toggle` handles its clicks.
Element& new_tweak_card(Element& parent, const Tweak& t, TweakSwitches& switches,
                        const std::function<void(Element&)>& on_toggle);
Element& new_tip_card(Element& parent, std::string_view title, std::string_view body);
// Empties a list, first forgetting the switches of its tweak cards.
void clear_cards(Element& list, TweakSwitches& switches);

}  // namespace vexlo::ui
