// The "Game Booster" page: the hero with the master switch, the option rows with their chips,
// start with Windows, and "Clean now"; and what keeps the rail's badge and the Home button in
// step with the switch.
#include <exception>
#include <memory>

#include "app/core/booster_options.h"
#include "app/core/text.h"
#include "app/tools/booster/booster.h"
#include "app/tools/size_text.h"
#include "app/ui/cards.h"
#include "app/ui/layout_helpers.h"

namespace vexlo::booster {

namespace {

using ui::Element;
using ui::Json;

ui::PillSpec impact_pill(std::string_view impact) {
    if (impact == "High") return {"HIGH IMPACT", "#FBBE24", "#0A0A0A", ""};
    if (impact == "Med") return {"MEDIUM", "#2B2112", "#FBBE24", "#4A3818"};
    return {"LOW", "#1A1815", "#7A746B", "#2C2822"};
}

// A plain group: its name in capitals over a body, no folding and no counter.
Element& plain_group(Element& list, std::string_view group) {
    Element& header = ui::row(list, {{"margin", "20px 0 9px 2px"}, {"background", "transparent"}});
    std::string upper(group);
    for (char& c : upper)
        if (c >= 'a' && c <= 'z') c = char(c - 32);
    ui::text(header, upper, {}, "", "GroupName");
    return ui::box(list);
}

Element& hero_text(Element& parent, std::string_view name, std::string_view t, double size, const char* colour,
                   const char* weight) {
    Element& e = ui::text(parent, t, {{"color", colour}, {"font-weight", weight}}, name);
    e.css("font-size", ui::format_px(size));
    return e;
}

std::vector<std::string> close_keys(Reg& reg) {
    std::vector<std::string> keys;
    for (std::string& k : split(booster_options::get_text(reg, "CloseList", ""), ';'))
        if (!k.empty()) keys.push_back(std::move(k));
    return keys;
}

std::string without_blanks(std::string_view s) {
    std::string out(s);
    std::erase(out, ' ');
    return out;
}

constexpr const char* kOffLine1 =
    "Flip the switch to start boosting. It waits in the background and kicks in when Fortnite launches.";

}  // namespace

void BoosterModule::add_purge_action() {
    actions_->add({"a_purge", "Booster", "Clean now", "Clean standby memory now",
                   "Flushes the standby cache once, right now. Handy just before you queue up.",
                   [this] { return run_purge_action(); }});
}

std::string BoosterModule::run_purge_action() {
    auto& perf = pf().performance();
    const auto before = perf.memory_lists();
    if (!standby_purge(/*force=*/true)) return "Windows refused the request.";
    // Windows updates its page-list counters a moment after the purge.
    pause(300);
    const auto after = perf.memory_lists();
    uint64_t freed = 0;
    if (before && after && before->standby_bytes > after->standby_bytes) freed = before->standby_bytes - after->standby_bytes;
    update_ui();
    return "Freed " + format_size(freed);
}

void BoosterModule::pause(int ms) {
    EventLoop& loop = ctx_->loop;
    auto done = std::make_shared<bool>(false);
    const EventLoop::TimerId id = loop.add_timer(std::chrono::milliseconds(ms), [done] { *done = true; });
    loop.start_timer(id);
    try {
        loop.run_nested([done] { return *done; });
    } catch (...) {
        loop.remove_timer(id);
        throw;  // the action's runner reports it
    }
    loop.remove_timer(id);
}

void BoosterModule::build_booster_page() {
    ui::Tree& tree = host_->tree();
    ui_ = {};
    ui_.page = tree.find("Page_Booster");
    Element* list = tree.find("List_Booster");
    if (!list) return;
    list->clear();
    if (!ok_) {
        ui::new_tip_card(*list, "Booster unavailable",
                         "The booster engine could not load on this PC. Every other part of Vexlo Tweaks still works.");
        return;
    }
    Reg& reg = settings();

    Element& hero = ui::box(*list, {{"flex-direction", "row"},
                                    {"align-items", "center"},
                                    {"border-radius", "18px"},
                                    {"background", "var(--accent-grad)"},
                                    {"padding", "22px 26px"},
                                    {"margin", "8px 0 6px 0"}},
                            "BoostHero");
    Element& words = ui::box(hero, {{"flex", "1"}, {"min-width", "0"}});
    hero_text(words, "", "GAME BOOSTER", 11, "#3D2503", "700").css("white-space", "nowrap");
    ui_.state = &hero_text(words, "BoostState", "OFF", 26, "#0A0A0A", "600");
    ui_.state->css("font-family", "var(--font-display)");
    ui_.line1 = &hero_text(words, "BoostLine1", "", 13, "#2E1C03", "400");
    ui_.line1->css("margin-top", "6px");
    ui_.line2 = &hero_text(words, "BoostLine2", "", 13, "#2E1C03", "400");
    Element& right = ui::box(hero, {{"justify-content", "center"}, {"margin-left", "20px"}});
    ui_.master = &right.add("toggle", "BoostMaster", "Toggle");
    ui_.master->css("zoom", "1.6");
    ui_.master->set_checked(booster_options::on(reg));
    ui_.master->on("click", [this](Element& e, const Json&) { on_master(e.checked()); });

    Element& boosts = plain_group(*list, "Boosts");
    Element& timer = new_boost_row(
        boosts, "Precise timer resolution",
        "Raises the Windows timer from 15.6 ms to 0.5 ms (or 1 ms) so frame pacing and input polling happen on time. "
        "The same idea as TimerResolution and ISLC. Pairs with \"Global timer resolution\" on the System page for "
        "Windows 11.",
        "Timer", 1, "High");
    Element& res_chips = ui::row(timer, {{"flex-wrap", "wrap"}, {"margin-top", "8px"}});
    const uint32_t res = booster_options::get(reg, "TimerRes", 5000);
    for (const auto& choice : {std::pair<const char*, uint32_t>{"0.5 ms", 5000}, {"1.0 ms", 10000}}) {
        const char* label = choice.first;
        const uint32_t value = choice.second;  // a plain copy: lambdas may capture it everywhere
        Element& chip = res_chips.add("chip", "BoostRes_" + std::to_string(value), "Chip");
        chip.set_text(label);
        chip.tag = std::to_string(value);
        chip.set_checked(res == value);
        chip.on("click", [this, value](Element&, const Json&) { on_resolution(value); });
    }
    new_boost_row(boosts, "Standby memory cleaner",
                  "When free RAM runs low and Windows is holding a big standby cache, it gets flushed so the game never "
                  "waits for memory. Fixes stutter on 8-16 GB PCs.",
                  "Cleaner", 1, "Med");
    new_boost_row(boosts, "Fortnite priority boost",
                  "The moment Fortnite starts, it is raised to High priority and launchers, browsers, cloud sync and "
                  "widgets drop to below normal. Everything goes back when you close the game.",
                  "Prio", 1, "Med");
    Element& close = new_boost_row(boosts, "Close apps when Fortnite starts",
                                   "Pick the apps to shut down automatically when you launch Fortnite. Unsaved work in "
                                   "those apps is lost, so only pick ones you never need mid-game.",
                                   "Close", 0, "Med");
    Element& close_chips = ui::row(close, {{"flex-wrap", "wrap"}, {"margin-top", "8px"}});
    const std::vector<std::string> picked = close_keys(reg);
    for (const CloseChoice& c : kCloseChoices) {
        Element& chip = close_chips.add("chipcheck", "BoostClose_" + without_blanks(c.key), "ChipCheck");
        chip.set_text(std::string(c.key));
        chip.tag = std::string(c.key);
        chip.set_checked(std::any_of(picked.begin(), picked.end(), [&](const std::string& k) { return iequals(k, c.key); }));
        chip.on("click", [this](Element& e, const Json&) { on_close_choice(e); });
    }

    Element& behavior = plain_group(*list, "Behavior");
    new_boost_row(behavior, "Keep running in the tray",
                  "Closing the window hides Vexlo Tweaks to the tray so the booster keeps working. Right-click the tray "
                  "icon to exit.",
                  "Tray", 1, "Low");
    ui::new_row_shell(
        behavior, "Start booster with Windows",
        "Launches Vexlo Tweaks quietly in the tray when you sign in, with no admin prompt.", {impact_pill("Low")},
        [this](Element& parent) {
            Element& toggle = parent.add("toggle", "BoostStartup", "Toggle");
            bool registered = false;
            try {
                registered = startup_registered();
            } catch (const std::exception& e) {
                ctx_->ui.log(std::string("Could not read the booster's startup task: ") + e.what(), LogKind::Err);
            }
            toggle.set_checked(registered);
            toggle.on("click", [this](Element& e, const Json&) { on_startup(e); });
        },
        ui::impact_colour("Low"));

    Element& tools = plain_group(*list, "Tools");
    if (ui::Action* purge = actions_->find("a_purge"))
        ui::new_action_card(tools, *purge, [this](Element& b) { ui::run_action(ctx_->ui, *actions_, b); });
}

Element& BoosterModule::new_boost_row(Element& parent, std::string_view title, std::string_view desc,
                                      std::string_view option, uint32_t fallback, std::string_view impact) {
    ui::RowShell shell = ui::new_row_shell(
        parent, title, desc, {impact_pill(impact)},
        [&](Element& right) {
            Element& toggle = right.add("toggle", "BoostOpt_" + std::string(option), "Toggle");
            toggle.tag = std::string(option);
            toggle.set_checked(booster_options::get(settings(), option, fallback) != 0);
            toggle.on("click", [this, t = std::string(title)](Element& e, const Json&) { on_option(e, t); });
        },
        ui::impact_colour(impact));
    // What a row adds below its description and result line goes into this column.
    return *shell.desc->parent();
}

void BoosterModule::on_master(bool on) {
    try {
        booster_options::set(settings(), "On", on ? 1 : 0);
    } catch (const std::exception& e) {
        ctx_->ui.log(std::string("Could not switch the Game Booster: ") + e.what(), LogKind::Err);
        update_ui();
        return;
    }
    tick_guarded();
    update_ui();
    ctx_->ui.show_toast(on ? "Game Booster is ON. It keeps running in the tray when you close the window."
                           : "Game Booster is OFF.");
}

void BoosterModule::on_option(Element& toggle, std::string_view title) {
    const bool on = toggle.checked();
    try {
        booster_options::set(settings(), toggle.tag, on ? 1 : 0);
    } catch (const std::exception& e) {
        ctx_->ui.log(std::string("Could not save the booster option: ") + e.what(), LogKind::Err);
        toggle.set_checked(!on);
        return;
    }
    tick_guarded();
    update_ui();
    ctx_->ui.show_toast((on ? "On: " : "Off: ") + std::string(title));
}

void BoosterModule::on_resolution(uint32_t res) {
    try {
        // The hold is taken again at the new value by the tick, when the timer option is on.
        set_timer_hold(false);
        booster_options::set(settings(), "TimerRes", res);
    } catch (const std::exception& e) {
        ctx_->ui.log(std::string("Could not change the timer resolution: ") + e.what(), LogKind::Err);
    }
    tick_guarded();
    const uint32_t now = booster_options::get(settings(), "TimerRes", 5000);
    for (uint32_t value : {5000u, 10000u})
        if (Element* chip = ctx_->ui.find("BoostRes_" + std::to_string(value))) chip->set_checked(now == value);
    update_ui();
}

void BoosterModule::on_close_choice(Element& chip) {
    Reg& reg = settings();
    std::vector<std::string> keys = close_keys(reg);
    std::erase_if(keys, [&](const std::string& k) { return iequals(k, chip.tag); });
    if (chip.checked()) keys.push_back(chip.tag);
    try {
        booster_options::set_text(reg, "CloseList", join(keys, ";"));
    } catch (const std::exception& e) {
        ctx_->ui.log(std::string("Could not save the apps to close: ") + e.what(), LogKind::Err);
        chip.set_checked(!chip.checked());
    }
}

void BoosterModule::on_startup(Element& toggle) {
    const bool on = toggle.checked();
    try {
        set_startup(on);
        ctx_->ui.show_toast(on ? "Booster will start with Windows." : "Booster will no longer start with Windows.");
    } catch (const std::exception& e) {
        ctx_->ui.ask(std::string("Could not change the startup task: ") + e.what(), "Vexlo Tweaks", "OK", "Warning");
    }
    // The dialog's nested loop may have rebuilt nothing, but the switch is found again by name.
    if (Element* sw = ctx_->ui.find("BoostStartup")) {
        try {
            sw->set_checked(startup_registered());
        } catch (const std::exception& e) {
            ctx_->ui.log(std::string("Could not read the booster's startup task: ") + e.what(), LogKind::Err);
        }
    }
}

bool BoosterModule::page_on_screen() const { return ui_.page && ui_.page->visible(); }

void BoosterModule::update_ui() {
    if (!ctx_) return;
    ui::Ui& ui = ctx_->ui;
    const bool on = booster_options::on(settings());
    if (Element* badge = ui.find("NavCount_Booster")) {
        badge->set_text(on ? "ON" : "OFF");
        badge->css("color", on ? "#FBBE24" : "#6E685F");
    }
    if (Element* hero = ui.find("TxtBoosterHero")) hero->set_text(on ? "Game Booster: ON" : "Game Booster: OFF");
    if (!ui_.state) return;
    if (!on) {
        ui_.state->set_text("Booster is off");
        ui_.line1->set_text(kOffLine1);
        ui_.line2->set_text("Timer right now: " + timer_now());
    } else {
        ui_.state->set_text(s_.fn_running ? "Boosting Fortnite" : "Armed. Waiting for Fortnite");
        ui_.line1->set_text("Timer: " + timer_now() + "   \u00B7   Memory cleaned: " + std::to_string(s_.purges) +
                            "x   \u00B7   Apps lowered: " + std::to_string(s_.lowered.size()));
        ui_.line2->set_text(s_.closed > 0 ? "Apps closed this session: " + std::to_string(s_.closed)
                                          : "Runs while Vexlo Tweaks is open or in the tray.");
    }
    ui_.master->set_checked(on);
}

}  // namespace vexlo::booster
