#include <gtest/gtest.h>

#include "app/app.h"
#include "app/tools/applied_marks.h"
#include "app/tweaks/kinds/reg_kind.h"
#include "app/ui/cards.h"
#include "app/ui/layout_helpers.h"
#include "app/ui/splash.h"
#include "dialog_answers.h"
#include "test_machine.h"

using namespace vexlo;

namespace {

struct Window : ::testing::Test {
    testkit::TempMachine pc;
    std::unique_ptr<App> app;
    std::vector<std::string> answers;     // what the user clicks in the next dialogs
    std::vector<std::string> dialogs;     // titles of the dialogs shown

    void SetUp() override { start(); }
    void start() {
        app = std::make_unique<App>(*pc);
        app->start_up();
        testkit::answer_dialogs(app->window(), answers, [this](ui::Ui& u) { dialogs.push_back(u("DlgTitle").text()); });
    }
    Tweak& tweak(std::string_view id) { return *app->tweaks().find(id); }
    const std::vector<ui::Element*>& switches(const Tweak& t) { return app->switches().of(t.id); }
    Reg reg() { return Reg(pc->registry()); }
    // The user flips the tweak's switch on its page.
    void flip(Tweak& t, bool on) {
        ASSERT_FALSE(switches(t).empty());
        app->window().tree().dispatch(switches(t).front()->id(), "click", on);
    }
    std::string status() { return app->window()("StatusText").text(); }
    std::string log_text() { return pc->files().read(AppPaths::from(pc->files()).log_file).value_or(""); }
};

}  // namespace

TEST_F(Window, SwitchAppliesAndRevertsThroughTheEngine) {
    Tweak& t = tweak("pthrottle");
    ASSERT_FALSE(t.state);
    flip(t, true);
    EXPECT_TRUE(t.state);
    EXPECT_TRUE(switches(t).front()->checked());
    EXPECT_EQ(status(), "Applied: Disable power throttling");
    EXPECT_EQ(app->window()("ToastText").text(), "On: Disable power throttling");
    EXPECT_EQ(reg().get(t.data_as<RegData>().entries[0].p, t.data_as<RegData>().entries[0].n), 1);
    EXPECT_TRUE(app->tweaks().backups().has("pthrottle"));
    Reg registry = reg();
    EXPECT_EQ(get_applied_ids(registry).back(), "pthrottle");
    EXPECT_NE(log_text().find("] Applied: Disable power throttling\r\n"), std::string::npos);

    flip(t, false);
    EXPECT_FALSE(t.state);
    EXPECT_FALSE(switches(t).front()->checked());
    EXPECT_EQ(status(), "Restored: Disable power throttling");
    EXPECT_EQ(app->window()("ToastText").text(), "Restored: Disable power throttling");
    EXPECT_TRUE(reg().get(t.data_as<RegData>().entries[0].p, t.data_as<RegData>().entries[0].n).is_null());
    EXPECT_FALSE(app->tweaks().backups().has("pthrottle"));
    EXPECT_TRUE(dialogs.empty());
}

// A revert drops the applied mark before it starts, so a revert cut short is finished from its
// record and never left marked; one that fails leaves the mark as it was, also when what is left
// reads as off.
TEST_F(Window, ARevertThatFailsLeavesTheAppliedMarkAsItWas) {
    Tweak& t = tweak("mmgames");
    auto marked = [&] {
        Reg r = reg();
        auto ids = get_applied_ids(r);
        return std::count(ids.begin(), ids.end(), t.id) == 1;
    };
    std::vector<std::string> writes;  // the registry's, in order
    pc->faults().on_write([&](const sim::PendingWrite& w) {
        if (w.op.starts_with("registry")) writes.emplace_back(w.target);
    });
    flip(t, true);
    ASSERT_TRUE(t.state);
    ASSERT_TRUE(marked());
    writes.clear();
    flip(t, false);
    ASSERT_FALSE(t.state);
    EXPECT_FALSE(marked());
    size_t last_value = 0;
    for (size_t i = 0; i < writes.size(); ++i)
        if (writes[i].find("Tasks\\Games") != std::string::npos) last_value = i;
    ASSERT_GT(last_value, 0u) << "the revert wrote no value";
    ASSERT_TRUE(writes[0].find("VexloTweaks") != std::string::npos && writes[0].ends_with("Applied")) << writes[0];

    const std::string refused = writes[last_value];
    flip(t, true);
    ASSERT_TRUE(marked());
    pc->faults().on_write([&](const sim::PendingWrite& w) {
        if (w.target == refused) throw platform::PlatformError("Access is denied.");
    });
    flip(t, false);
    pc->faults().on_write({});
    EXPECT_EQ(status().rfind("Failed: " + t.title + " - ", 0), 0u) << status();
    EXPECT_FALSE(t.state) << "the values before the refused one went back";
    EXPECT_TRUE(marked());
    EXPECT_TRUE(app->tweaks().backups().has(t.id));

}

TEST_F(Window, RestartTweakShowsThePill) {
    EXPECT_FALSE(app->window()("RestartPill").visible());
    flip(tweak("faststart"), true);
    EXPECT_TRUE(app->window()("RestartPill").visible());
    EXPECT_TRUE(app->window().restart_pending());
}

TEST_F(Window, AdvancedAsksOncePerRunAndNoLeavesItOff) {
    Tweak& t = tweak("fse");
    answers = {"No"};
    flip(t, true);
    ASSERT_EQ(dialogs.size(), 1u);
    EXPECT_EQ(dialogs[0], "Heads up");
    EXPECT_FALSE(t.state);
    EXPECT_FALSE(switches(t).front()->checked());
    EXPECT_FALSE(app->tweaks().backups().has("fse"));

    answers = {"Yes"};
    flip(t, true);
    EXPECT_EQ(dialogs.size(), 2u);
    EXPECT_TRUE(t.state);
    flip(t, false);  // turning it off never asks
    flip(t, true);   // nor does turning it on again in the same run
    EXPECT_EQ(dialogs.size(), 2u);
    EXPECT_TRUE(t.state);
}

TEST_F(Window, AdvancedConfirmationText) {
    Tweak& t = tweak("gtimer");
    std::string body;
    app->window().on_dialog_shown = [&](ui::Ui& u) {
        body = u("DlgBody").text();
        u.end_dialog();
    };
    flip(t, true);
    EXPECT_EQ(body, "ADVANCED TWEAK\n\n" + t.title + "\n\n" + t.desc + "\n\nApply it? You can turn it back off any time.");
    EXPECT_FALSE(t.state);  // Escape answers "No"
}

TEST_F(Window, FailureIsReportedAndTheSwitchShowsTheRealState) {
    Tweak& t = tweak("gamemode");
    bool before = t.state;
    pc->faults().fail_registry_write(1);
    flip(t, !before);
    EXPECT_EQ(t.state, before);
    EXPECT_EQ(switches(t).front()->checked(), before);
    EXPECT_EQ(status().rfind("Failed: Windows Game Mode - ", 0), 0u) << status();
    EXPECT_EQ(app->window()("StatusDot").get("css")["background"], "#EF4444");
}

TEST_F(Window, ChangeMadeOutsideShowsOnNextSync) {
    // A change that "succeeded" but did not take shows as off: the switch follows the PC.
    Tweak& t = tweak("wu_reboot");
    flip(t, true);
    ASSERT_TRUE(t.state);
    reg().remove(t.data_as<RegData>().entries[0].p, t.data_as<RegData>().entries[0].n);  // as a Windows update would
    flip(tweak("wu_drivers"), true);          // same group: re-read together
    EXPECT_FALSE(t.state);
    EXPECT_FALSE(switches(t).front()->checked());
}

TEST_F(Window, CardsShowPillsAndUnavailableReason) {
    Tweak& t = tweak("hvci");
    auto pills = ui::tweak_pills(t);
    ASSERT_EQ(pills.size(), 3u);
    EXPECT_EQ(pills[0].text, "HIGH IMPACT");
    EXPECT_EQ(pills[1].text, "ADVANCED");
    EXPECT_EQ(pills[2].text, "RESTART");

    testkit::TempMachine win10("desktop10");
    App old(*win10);
    old.start_up();
    ui::Element* sw = old.switches().of("gtimer").front();
    EXPECT_FALSE(sw->enabled());
    ui::Element* card = nullptr;
    for (ui::Element* e = sw; e; e = e->parent())
        if (e->tag_element == sw) card = e;
    ASSERT_TRUE(card);
    EXPECT_EQ(card->get("opacity"), 0.6);
    bool reason_shown = false;
    std::function<void(ui::Element&)> find = [&](ui::Element& e) {
        if (e.text() == "Windows 11 only." && e.visible()) reason_shown = true;
        for (auto* c : e.children()) find(*c);
    };
    find(*card);
    EXPECT_TRUE(reason_shown);
}

TEST_F(Window, DialogsOrderButtonsAndMapTitles) {
    std::vector<std::string> shown;
    app->window().on_dialog_shown = [&](ui::Ui& u) {
        shown.clear();
        for (auto* b : u("DlgButtons").children()) shown.push_back(b->text());
        u.end_dialog();
    };
    EXPECT_EQ(app->window().show_dialog("Apply everything on this tab?", "x", {"Apply everything", "Skip trade-offs", "Cancel"},
                                  "Warning"),
              "Cancel");
    EXPECT_EQ(shown, (std::vector<std::string>{"Cancel", "Skip trade-offs", "Apply everything"}));
    EXPECT_EQ(app->window()("DlgButtons").children().size(), 0u);
    EXPECT_FALSE(app->window()("DialogLayer").visible());

    struct Case {
        const char* title;
        const char* icon;
        const char* want;
    };
    const Case cases[] = {{"Vexlo Tweaks", "Information", "Done"},   {"Vexlo Tweaks", "Warning", "Heads up"},
                          {"Vexlo Tweaks", "Question", "Confirm"},   {"Vexlo Tweaks", "Error", "Done"},
                          {"Vexlo Tweaks - Import setup", "Information", "Import setup"}};
    for (auto& c : cases) {
        std::string title;
        app->window().on_dialog_shown = [&](ui::Ui& u) {
            title = u("DlgTitle").text();
            u.end_dialog();
        };
        app->window().ask("body", c.title, "OK", c.icon);
        EXPECT_EQ(title, c.want);
    }
    EXPECT_EQ(app->window().ask("body"), "OK");
}

// The hostile tester's flood: clicks on an ADVANCED switch sent through the socket faster than
// anyone answers. Each used to open a confirmation inside the previous one's loop until the
// stack ran out. While the dialog is up only the dialog takes input.
TEST_F(Window, WhileADialogIsUpOnlyTheDialogTakesInput) {
    Tweak& t = tweak("fse");
    ui::Tree& tree = app->window().tree();
    const int sw = switches(t).front()->id();
    int shown = 0;
    app->window().on_dialog_shown = [&](ui::Ui& u) {
        if (++shown > 1) return u.end_dialog();  // a dialog inside the dialog: the fault
        for (int i = 0; i < 200; ++i) EXPECT_FALSE(tree.dispatch(sw, "click", true));
        EXPECT_FALSE(tree.dispatch(u("Nav_System").id(), "click", true));
        for (ui::Element* b : u("DlgButtons").children()) {
            if (b->tag == "No") {
                EXPECT_TRUE(tree.dispatch(b->id(), "click", nullptr));
            }
        }
    };
    flip(t, true);
    EXPECT_EQ(shown, 1);
    EXPECT_FALSE(t.state);
    EXPECT_FALSE(switches(t).front()->checked());

    // Once it is answered the whole window takes input again.
    EXPECT_EQ(tree.modal_root(), 0);
    start();  // the fixture's dialog answerer again
    answers = {"Yes"};
    flip(tweak("fse"), true);
    EXPECT_TRUE(tweak("fse").state);
}

// Defence in depth: whatever opens dialogs from inside a dialog's loop (a timer, say), the loops
// stop nesting at a small depth and the one past it gets the safe answer unseen.
TEST_F(Window, DialogsNestOnlyAFewDeep) {
    int shown = 0;
    std::vector<std::string> inner;
    app->window().on_dialog_shown = [&](ui::Ui& u) {
        ++shown;
        inner.push_back(u.show_dialog("Again", "body", {"Yes", "No"}, "Question"));
        u.end_dialog();
    };
    app->window().show_dialog("First", "body", {"Yes", "No"}, "Question");
    EXPECT_EQ(shown, ui::Ui::kMaxDialogDepth);
    ASSERT_FALSE(inner.empty());
    EXPECT_EQ(inner.front(), "No");
    EXPECT_NE(log_text().find("A dialog was not shown, too many are open at once: Again"), std::string::npos);
    EXPECT_EQ(app->window().tree().modal_root(), 0);
}

TEST_F(Window, HiddenWindowUsesTheSystemMessageBox) {
    app->window().set_window_visible(false);
    pc->script_message_box(platform::MsgResult::Yes);
    EXPECT_EQ(app->window().ask("Sure?", "Vexlo Tweaks", "YesNo", "Question"), "Yes");
    EXPECT_EQ(app->window().ask("Sure?", "Vexlo Tweaks", "YesNo", "Question"), "No");  // the safe default
    app->window().show_progress("Applying tweaks");
    EXPECT_FALSE(app->window()("DialogLayer").visible());
}

TEST_F(Window, ProgressPanel) {
    app->window().show_progress("Applying tweaks");
    EXPECT_TRUE(app->window()("DialogLayer").visible());
    EXPECT_TRUE(app->window()("DlgProgress").visible());
    // 106.5 and 319.5 go to the even neighbour.
    app->window().update_progress(1, 4, "Step");
    EXPECT_EQ(app->window()("DlgBar").get("css")["width"], "106px");
    app->window().update_progress(3, 4, "Step");
    EXPECT_EQ(app->window()("DlgBar").get("css")["width"], "320px");
    app->window().update_progress(1, 3, "Step");
    EXPECT_EQ(app->window()("DlgBar").get("css")["width"], "142px");
    EXPECT_EQ(app->window()("DlgBody").text(), "1 of 3");
    app->window().update_progress(0, 0, "Nothing");
    EXPECT_EQ(app->window()("DlgBar").get("css")["width"], "142px");
    EXPECT_EQ(app->window()("DlgBody").text(), "0 of 0");
    // While it is up no switch takes a click; afterwards they do again.
    Tweak& t = tweak("pthrottle");
    ASSERT_FALSE(t.state);
    flip(t, true);
    EXPECT_FALSE(t.state);
    app->window().hide_progress();
    EXPECT_FALSE(app->window()("DialogLayer").visible());
    flip(t, true);
    EXPECT_TRUE(t.state);
}

TEST_F(Window, FirstRunThenSameVersionThenUpdate) {
    app->content_rendered();
    ASSERT_EQ(dialogs, (std::vector<std::string>{"Welcome to Vexlo Tweaks"}));
    EXPECT_EQ(reg().get(kSettingsKey, "LastVersion"), "3.1");
    EXPECT_FALSE(app->window()("Splash").visible());

    start();
    app->content_rendered();
    EXPECT_EQ(dialogs.size(), 1u);

    reg().set(kSettingsKey, "LastVersion", "3.0", platform::RegKind::String);
    start();
    app->content_rendered();
    ASSERT_EQ(dialogs.size(), 2u);
    EXPECT_EQ(dialogs[1], "What's new in v3.1");
}

TEST_F(Window, StartUpFillsTheRigTilesAndReadyLine) {
    EXPECT_NE(app->window()("StatCpu").text(), "...");
    EXPECT_EQ(app->window()("StatCpu").text().find("(R)"), std::string::npos);
    EXPECT_NE(app->window()("StatOs").text().find("  \u00B7  build "), std::string::npos);
    EXPECT_EQ(app->window()("StatOs").text().find("Microsoft"), std::string::npos);
    EXPECT_NE(app->window()("StatHz").text().find(" Hz"), std::string::npos);
    EXPECT_EQ(app->window()("SplashText").text(), "Ready");
    EXPECT_EQ(app->window()("SplashBar").get("css")["width"], "338px");
    std::string line = status();
    EXPECT_EQ(line.rfind("Vexlo Tweaks 3.1 ready: ", 0), 0u) << line;
    EXPECT_TRUE(app->window()("Main").visible());
}

// Every stage of start-up on the splash, in order, with its percentage and the bar's width; the
// startup entries are scanned at their own stage, so the checking steps count them.
TEST(StartUp, TheSplashShowsEveryStageInOrderAndTheChecksCountTheStartupEntries) {
    struct Step {
        std::string text;
        double percent;
        std::string shown, bar;  // what the splash showed then
    };
    auto stages = [](testkit::TempMachine& pc, bool window, size_t* entries, size_t* startup) {
        std::vector<Step> steps;
        std::unique_ptr<App> app;
        StartOptions opts;
        opts.build_window = window;
        opts.on_stage = [&](const std::string& text, double percent) {
            ui::Element* shown = app->window().find("SplashText");
            ui::Element* bar = app->window().find("SplashBar");
            steps.push_back({text, percent, shown ? shown->text() : "", bar ? bar->get("css")["width"].get<std::string>() : ""});
        };
        app = std::make_unique<App>(*pc, opts);
        app->start_up();
        auto& tweaks = app->tweaks().catalog().tweaks;
        *entries = tweaks.size();
        *startup = size_t(std::count_if(tweaks.begin(), tweaks.end(), [](auto& t) { return t->kind == Kind::Startup; }));
        return steps;
    };
    testkit::TempMachine pc;
    size_t n = 0, startup = 0;
    const std::vector<Step> steps = stages(pc, true, &n, &startup);
    ASSERT_GT(startup, 0u) << "the image has no startup entries";
    ASSERT_GE(n - startup, 15u);

    std::vector<std::pair<std::string, double>> want = {
        {"Reading your system", 5},  {"Loading tools", 30},           {"Building the interface", 40},
        {"Reading your hardware", 50}, {"Checking network adapters", 58}, {"Scanning startup apps", 64},
        {"Checking every tweak", 70}};
    for (size_t i = 15; i <= n; i += 15)
        want.emplace_back("Checking every tweak (" + std::to_string(i) + "/" + std::to_string(n) + ")", 70 + 20.0 * double(i) / double(n));
    want.insert(want.end(), {{"Building pages", 92}, {"Checking for updates", 96}, {"Ready", 100}});
    ASSERT_EQ(steps.size(), want.size());
    for (size_t i = 0; i < want.size(); ++i) {
        SCOPED_TRACE(want[i].first);
        EXPECT_EQ(steps[i].text, want[i].first);
        EXPECT_DOUBLE_EQ(steps[i].percent, want[i].second);
        EXPECT_EQ(steps[i].shown, want[i].first);
        EXPECT_EQ(steps[i].bar, ui::format_px(338 * want[i].second / 100));
    }
    EXPECT_EQ(steps[5].bar, "216.32px");
    EXPECT_EQ(steps.back().bar, "338px");

    // Without the window: the same stages but the window's own, and the same count.
    testkit::TempMachine other;
    size_t n2 = 0, startup2 = 0;
    const std::vector<Step> headless = stages(other, false, &n2, &startup2);
    EXPECT_EQ(n2, n);
    std::vector<std::pair<std::string, double>> headless_want;
    for (auto& w : want)
        if (w.first != "Building the interface" && w.first != "Reading your hardware") headless_want.push_back(w);
    std::vector<std::pair<std::string, double>> got;
    for (auto& s : headless) {
        got.emplace_back(s.text, s.percent);
        EXPECT_EQ(s.shown, "") << "no splash without the window";
    }
    EXPECT_EQ(got, headless_want);
}

TEST(TraySwitch, WholeElementAnyCase) {
    EXPECT_TRUE(has_tray_switch({"--TRAY"}));
    EXPECT_TRUE(has_tray_switch({"x", "--tray"}));
    EXPECT_FALSE(has_tray_switch({"--tray=1"}));
    EXPECT_FALSE(has_tray_switch({}));
}

TEST(Splash, CheckingStepsEveryFifteenEntries) {
    EXPECT_FALSE(ui::checking_step(14, 150));
    auto first = ui::checking_step(15, 150);
    ASSERT_TRUE(first);
    EXPECT_EQ(first->text, "Checking every tweak (15/150)");
    EXPECT_DOUBLE_EQ(first->percent, 72);
    auto last = ui::checking_step(150, 150);
    ASSERT_TRUE(last);
    EXPECT_EQ(last->text, "Checking every tweak (150/150)");
    EXPECT_DOUBLE_EQ(last->percent, 90);
    EXPECT_FALSE(ui::checking_step(0, 0));
}

TEST(ElementTree, ClicksOnADisabledSwitchChangeNothingAndTheRendererIsCorrected) {
    ui::Tree tree;
    auto& sw = tree.root().add("toggle");
    int clicks = 0;
    sw.on("click", [&](ui::Element&, const ui::Json&) { ++clicks; });
    sw.set_enabled(false);
    tree.take_patches();
    tree.dispatch(sw.id(), "click", true);
    EXPECT_EQ(clicks, 0);
    EXPECT_FALSE(sw.checked());
    auto patches = tree.take_patches();
    ASSERT_EQ(patches.size(), 1u);
    EXPECT_EQ(patches[0]["prop"], "checked");
    EXPECT_EQ(patches[0]["value"], false);

    sw.set_enabled(true);
    tree.dispatch(sw.id(), "click", true);
    EXPECT_EQ(clicks, 1);
    EXPECT_TRUE(sw.checked()) << "mirrored like a native control until the handler decides";
    tree.dispatch(12345, "click", true);  // unknown ids are ignored
}

TEST_F(Window, ATrayRunGreetsNoOneWhenItsWindowFirstOpens) {
    StartOptions opts;
    opts.args = {"--tray"};
    app = std::make_unique<App>(*pc, opts);
    app->start_up();
    app->window().on_dialog_shown = [this](ui::Ui& u) {
        dialogs.push_back(u("DlgTitle").text());
        u.end_dialog();
    };
    app->show_window();
    app->content_rendered();
    EXPECT_TRUE(dialogs.empty()) << dialogs.front();
}

// At start the user hears of a damaged backup file, and is offered to put back changes that
// were cut short; "Put back" reverts them from their records.
TEST_F(Window, DamageAndUnfinishedChangesAreToldAtStart) {
    const std::string games = "HKLM:\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Multimedia\\SystemProfile\\Tasks\\Games";
    const Json priority = reg().get(games, "Priority");
    struct : ChangeFront {
        void log(std::string_view, LogKind) override {}
        void toast(std::string_view) override {}
        bool confirm_advanced(const Tweak&) override { return true; }
        void game_running(const Tweak&) override {}
    } front;
    pc->faults().fail_registry_write(3);
    app->tweaks().toggle(tweak("mmgames"), true, front);
    pc->faults().clear();
    ASSERT_NE(reg().get(games, "Priority"), priority);
    pc->files().write(AppPaths::from(pc->files()).backup_file + ".unreadable", "older damage, kept as it was");
    start();
    answers = {"Put back"};
    app->content_rendered();
    ASSERT_GE(dialogs.size(), 1u);
    EXPECT_EQ(dialogs[0], "Unfinished changes");
    EXPECT_EQ(reg().get(games, "Priority"), priority);
    EXPECT_FALSE(app->tweaks().backups().has("mmgames"));

    pc->files().write(AppPaths::from(pc->files()).backup_file, "{\"mmgames\": [");
    dialogs.clear();
    start();
    app->content_rendered();
    ASSERT_GE(dialogs.size(), 1u);
    EXPECT_EQ(dialogs[0], "Your backup file was damaged");
    EXPECT_EQ(pc->files().read(AppPaths::from(pc->files()).backup_file + ".unreadable").value_or(""),
              "older damage, kept as it was");
    EXPECT_TRUE(pc->files().exists(AppPaths::from(pc->files()).backup_file + ".unreadable.2"));
}

// Any element can hold the input, a dialog or a progress panel; modals nest and give it back.
TEST(ElementTree, AModalRootLetsOnlyItsOwnSubtreeTakeInput) {
    ui::Tree tree;
    auto& page = tree.root().add("box");
    auto& sw = page.add("toggle");
    auto& panel = tree.root().add("box");
    auto& inner = panel.add("box").add("button");
    std::vector<std::string> fired;
    sw.on("click", [&](ui::Element&, const ui::Json&) { fired.push_back("switch"); });
    inner.on("click", [&](ui::Element&, const ui::Json&) { fired.push_back("inner"); });

    {
        ui::ModalScope modal(panel);
        tree.take_patches();
        EXPECT_FALSE(tree.dispatch(sw.id(), "click", true));
        EXPECT_FALSE(sw.checked());
        auto patches = tree.take_patches();  // the renderer puts the switch back
        ASSERT_EQ(patches.size(), 1u);
        EXPECT_EQ(patches[0]["value"], false);
        EXPECT_TRUE(tree.dispatch(inner.id(), "click", nullptr));
        {
            ui::ModalScope nested(inner);
            EXPECT_FALSE(tree.dispatch(panel.id(), "click", nullptr));
            EXPECT_TRUE(tree.dispatch(inner.id(), "click", nullptr));
        }
        EXPECT_EQ(tree.modal_root(), panel.id());
    }
    EXPECT_TRUE(tree.dispatch(sw.id(), "click", true));
    EXPECT_EQ(fired, (std::vector<std::string>{"inner", "inner", "switch"}));

    // A modal element that goes away takes the input with it, not the window's input for good.
    tree.set_modal_root(panel.id());
    tree.root().remove_child(panel);
    EXPECT_EQ(tree.modal_root(), 0);
    EXPECT_TRUE(tree.dispatch(sw.id(), "click", false));
}
