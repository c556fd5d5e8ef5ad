#include "app/ui/cards.h"

#include <algorithm>

#include "app/core/reg.h"
#include "app/tweaks/kinds/startup_kind.h"
#include "app/ui/layout_helpers.h"

namespace vexlo::ui {

std::string impact_colour(std::string_view impact) {
    if (impact == "High") return "#FBBE24";
    if (impact == "Med") return "#B4791C";
    return "#3A352E";
}

std::vector<PillSpec> tweak_pills(const Tweak& t) {
    std::vector<PillSpec> pills;
    if (t.kind == Kind::Startup) {
        // Hardware drivers and vendor tools: a label, nothing more.
        if (t.data && t.data_as<StartupData>().keep) pills.push_back({"DRIVER / HARDWARE", "#1F1D1A", "#9C968D", "#34302A"});
    } else {
        if (t.impact == "High")
            pills.push_back({"HIGH IMPACT", "#FBBE24", "#0A0A0A", ""});
        else if (t.impact == "Med")
            pills.push_back({"MEDIUM", "#2B2112", "#FBBE24", "#4A3818"});
        else
            pills.push_back({"LOW", "#1A1815", "#7A746B", "#2C2822"});
    }
    if (t.adv) pills.push_back({"ADVANCED", "#2A1414", "#F87171", "#4A2020"});
    if (t.restart) pills.push_back({"RESTART", "#1A1815", "#9C968D", "#2C2822"});
    return pills;
}

Element& new_text(Element& parent, std::string_view t, double size, std::string_view colour, std::string_view weight,
                  bool wrap) {
    Element& e = parent.add("text");
    e.set_text(std::string(t));
    Json css = {{"font-size", format_px(size)}, {"color", std::string(colour)}};
    if (weight != "normal") css["font-weight"] = weight == "semibold" ? "600" : weight == "bold" ? "700" : std::string(weight);
    css["white-space"] = wrap ? "pre-wrap" : "nowrap";
    e.set("css", std::move(css));
    return e;
}

Element& new_pill(Element& parent, const PillSpec& p) {
    Element& pill = parent.add("text", "", "Pill");
    pill.set_text(p.text);
    Json css = {{"background", p.background}, {"color", p.colour}};
    if (!p.border.empty()) css["border"] = "1px solid " + p.border;
    pill.set("css", std::move(css));
    return pill;
}

RowShell new_row_shell(Element& parent, std::string_view title, std::string_view desc,
                       const std::vector<PillSpec>& pills, const std::function<void(Element&)>& control,
                       std::string_view stripe) {
    Element& card = parent.add("box", "", "Row");
    styled(card, {{"flex-direction", "row"}, {"align-items", "stretch"}});
    Element& s = box(card, {}, "", "Stripe");
    s.css("background", std::string(stripe));
    Element& mid = box(card, {{"flex", "1"}, {"min-width", "0"}, {"margin", "11px 8px 11px 14px"}});
    Element& head = row(mid, {{"flex-wrap", "wrap"}});
    text(head, title, {}, "", "RowTitle");
    for (auto& p : pills) new_pill(head, p);
    Element& d = text(mid, desc, {}, "", "RowDesc");
    Element& result = text(mid, "", {}, "", "RowResult");
    result.set_visible(false);
    Element& right = box(card, {{"justify-content", "center"}, {"margin", "0 18px 0 12px"}});
    control(right);
    return {&card, &d, &result};
}

Element& new_tweak_card(Element& parent, const Tweak& t, TweakSwitches& switches,
                        const std::function<void(Element&)>& on_toggle) {
    Element* sw = nullptr;
    std::string desc = t.desc;
    if (t.kind == Kind::Startup && desc.size() > 150) desc = desc.substr(0, 147) + "...";
    std::string stripe = t.kind == Kind::Startup ? "#3A352E" : impact_colour(t.impact);
    RowShell shell = new_row_shell(
        parent, t.title, desc, tweak_pills(t),
        [&](Element& right) {
            Element& toggle = right.add("toggle", "", "Toggle");
            toggle.tag = t.id;
            toggle.set_checked(t.state);
            toggle.set_enabled(t.available);
            toggle.on("click", [on_toggle](Element& e, const Json&) { on_toggle(e); });
            sw = &toggle;
        },
        stripe);
    switches.add(t.id, *sw);
    if (!t.available) {
        shell.result->set_text(t.reason);
        shell.result->css("color", "#6E685F");
        shell.result->set_visible(true);
        shell.card->set_opacity(0.6);
    }
    shell.card->tag_element = sw;
    return *shell.card;
}

Element& new_tip_card(Element& parent, std::string_view title, std::string_view body) {
    Element& card = parent.add("box", "", "Tip");
    styled(card, {{"flex-direction", "row"}, {"align-items", "flex-start"}});
    glyph(card, "E82F", {}, "", "TipGlyph");
    Element& col = box(card, {{"margin-left", "13px"}, {"flex", "1"}});
    text(col, title, {}, "", "TipTitle");
    text(col, body, {}, "", "TipBody");
    return card;
}

void clear_cards(Element& list, TweakSwitches& switches) {
    // Cards stand in the list itself or inside its group blocks.
    std::function<void(Element&)> forget = [&](Element& e) {
        for (Element* child : e.children()) {
            if (Element* sw = child->tag_element; sw && sw->type() == "toggle")
                switches.remove(*sw);
            else if (child->type() == "box")
                forget(*child);
        }
    };
    forget(list);
    list.clear();
}

}  // namespace vexlo::ui
