// The window beyond a single switch, on the element tree: counters and the score, filters and
// groups, bulk runs with their questions and reports, profiles, "Apply everything", navigation
// and search on the simulated PC's clock.
#include <gtest/gtest.h>

#include <algorithm>

#include "app/app.h"
#include "app/tools/applied_marks.h"
#include "app/tweaks/kinds/reg_kind.h"
#include "app/tweaks/score.h"
#include "app/tweaks/tweak_sets.h"
#include "app/ui/main_view.h"
#include "dialog_answers.h"
#include "registry_snapshot.h"
#include "test_machine.h"

using namespace vexlo;
using namespace std::chrono_literals;

namespace {

struct Pages : ::testing::Test {
    testkit::TempMachine pc;
    std::unique_ptr<App> app;
    std::vector<std::string> answers;  // what the user clicks in the next dialogs
    struct Shown {
        std::string title, body;
        std::vector<std::string> buttons;
    };
    std::vector<Shown> dialogs;

    void SetUp() override {
        pc->freeze_clock();
        start();
    }
    void start() {
        app = std::make_unique<App>(*pc);
        app->start_up();
        testkit::answer_dialogs(app->window(), answers, [this](ui::Ui& w) {
            Shown s{w("DlgTitle").text(), w("DlgBody").text(), {}};
            for (ui::Element* b : w("DlgButtons").children()) s.buttons.push_back(b->tag);
            dialogs.push_back(s);
        });
    }
    ui::Ui& u() { return app->window(); }
    ui::MainView& view() { return app->view(); }
    Tweak& tweak(std::string_view id) { return *app->tweaks().find(id); }
    const Catalog& cat() { return app->tweaks().catalog(); }
    void click(std::string_view name, Json value = nullptr) { u().tree().dispatch(u()(name).id(), "click", value); }
    void click(ui::Element& e, Json value = nullptr) { u().tree().dispatch(e.id(), "click", value); }
    std::string text(std::string_view name) { return u()(name).text(); }
    // Runs what the loop has due after the clock moved on.
    void after(std::chrono::milliseconds ms) {
        pc->advance_clock(ms);
        u().update_ui();
    }
    void type(const std::string& s) {
        u().tree().dispatch(u()("SearchBox").id(), "input", s);
    }
    std::string visible_page() {
        std::string out;
        for (ui::Element* p : u()("HostGrid").children())
            if (p->visible()) out += (out.empty() ? "" : ",") + p->name();
        return out;
    }
    std::string log_text() { return pc->files().read(AppPaths::from(pc->files()).log_file).value_or(""); }
};

// A catalog of `n` plain tweaks of the given impacts for the score's arithmetic.
struct Scored {
    Catalog cat;
    Tweak& add(std::string impact, bool on, bool available = true, bool manual = false) {
        auto t = std::make_unique<Tweak>();
        t->id = "t" + std::to_string(cat.tweaks.size());
        t->page = "System";
        t->group = "G";
        t->impact = std::move(impact);
        t->state = on;
        t->available = available;
        t->manual = manual;
        t->kind = Kind::Svc;
        cat.tweaks.push_back(std::move(t));
        return *cat.tweaks.back();
    }
};

}  // namespace

TEST(Score, WeightsRoundingRingAndBar) {
    {
        Scored s;  // nothing scored: no arc, stock title, empty bar
        s.add("High", true, /*available=*/false);
        s.add("High", true, true, /*manual=*/true);
        EXPECT_EQ(readiness_score(s.cat), 0);
        EXPECT_EQ(ring_path(0), "");
        EXPECT_EQ(hero_title(0), "Your PC is running stock Windows.");
        EXPECT_EQ(side_bar_width(0), 0);
        // The manual-only tweak that is on counts in the page's counter, not in the score.
        EXPECT_EQ(page_count(s.cat, "System").on, 1u);
        EXPECT_EQ(totals(s.cat).active, 2u);
    }
    struct Case {
        int on, off;  // Low tweaks
        int score;
    };
    // 62.5 and 63.5 round to the even neighbour; 62.6 rounds up.
    for (Case c : {Case{5, 3, 62}, Case{127, 73, 64}, Case{313, 187, 63}, Case{1, 1, 50}, Case{4, 0, 100}}) {
        Scored s;
        for (int i = 0; i < c.on; ++i) s.add("Low", true);
        for (int i = 0; i < c.off; ++i) s.add("Low", false);
        EXPECT_EQ(readiness_score(s.cat), c.score) << c.on << "/" << c.off;
    }
    Scored w;  // High 3, Med 2, Low 1: 3 of 6
    w.add("High", true);
    w.add("Med", false);
    w.add("Low", false);
    EXPECT_EQ(readiness_score(w.cat), 50);

    EXPECT_EQ(ring_path(0.5), "");
    EXPECT_EQ(ring_path(50), "M 82,12 A 70,70 0 0 1 82,152");
    EXPECT_EQ(ring_path(51).substr(0, 24), "M 82,12 A 70,70 0 1 1 77");
    EXPECT_EQ(ring_path(25), "M 82,12 A 70,70 0 0 1 152,82");
    EXPECT_EQ(ring_path(100), ring_path(99.9)) << "a ring whose ends meet cannot be drawn";
    EXPECT_EQ(ring_path(99.9), "M 82,12 A 70,70 0 1 1 81.56,12");
    EXPECT_EQ(side_bar_width(100), 176);
    EXPECT_EQ(side_bar_width(50), 88);
    EXPECT_EQ(side_bar_width(25), 44);
    EXPECT_EQ(side_bar_width(3), 5) << "5.28";
    for (auto [score, title] : std::vector<std::pair<int, std::string>>{{34, "Your PC is running stock Windows."},
                                                                         {35, "Getting there. Big wins still left."},
                                                                         {74, "Getting there. Big wins still left."},
                                                                         {75, "Almost tuned. A few left."},
                                                                         {95, "Tuned. You are match-ready."}})
        EXPECT_EQ(hero_title(score), title) << score;
}

TEST_F(Pages, CountersFollowEveryChange) {
    Count sys = page_count(cat(), "System");
    ASSERT_GT(sys.available, 3u);
    EXPECT_EQ(text("Counter_System"), std::to_string(sys.on) + " / " + std::to_string(sys.available) + " active");
    EXPECT_EQ(text("NavCount_System"), std::to_string(sys.on) + "/" + std::to_string(sys.available));
    Totals before = totals(cat());
    EXPECT_EQ(text("TxtTotals"), std::to_string(before.active) + " active  \u00B7  " + std::to_string(before.available) +
                                     " available  \u00B7  " + std::to_string(before.tweaks) + " tweaks  \u00B7  " +
                                     std::to_string(before.settings) + " settings");
    EXPECT_GT(before.settings, before.tweaks) << "registry tweaks count each value";
    int score = readiness_score(cat());
    EXPECT_EQ(text("TxtScore"), std::to_string(score));
    EXPECT_EQ(text("SideScore"), std::to_string(score) + "%");

    Tweak& t = tweak("pthrottle");
    ASSERT_FALSE(t.state);
    std::string key = "System|" + t.group;
    Count group = group_count(cat(), "System", t.group);
    click(*app->switches().of(t.id).front(), true);
    ASSERT_TRUE(t.state);
    EXPECT_EQ(text("Counter_System"), std::to_string(sys.on + 1) + " / " + std::to_string(sys.available) + " active");
    EXPECT_EQ(view().pages().group_counters().at(key)->text(),
              std::to_string(group.on + 1) + "/" + std::to_string(group.available));
    EXPECT_GT(std::stoi(text("TxtScore")), score);
    EXPECT_NE(text("TxtHeroSub").find(std::to_string(before.active + 1) + " of " + std::to_string(before.available) +
                                      " tweaks active on this PC ("),
              std::string::npos);
    EXPECT_FALSE(u()("RingArc").get("d").is_null());
}

TEST_F(Pages, AnUnavailableTweakThatWasOnShowsOffAndDisabledAfterAReRead) {
    Tweak& t = tweak("pthrottle");
    click(*app->switches().of(t.id).front(), true);
    ASSERT_TRUE(t.state);
    size_t active = totals(cat()).active;
    // Availability now fails: the predicate says no.
    t.avail = [] { return false; };
    t.why = "Not on this PC.";
    view().refresh_all();
    EXPECT_FALSE(t.available);
    EXPECT_FALSE(t.state);
    for (ui::Element* sw : app->switches().of(t.id)) {
        EXPECT_FALSE(sw->checked());
        EXPECT_FALSE(sw->enabled());
    }
    EXPECT_EQ(totals(cat()).active, active - 1);
    EXPECT_EQ(text("StatusText"), "Ready.");
}

TEST_F(Pages, WinsShowAtMostSixAndPlainOnesFirst) {
    auto wins = biggest_wins(cat());
    ASSERT_EQ(wins.size(), 6u);
    size_t plain_left = 0;
    for (auto& t : cat().tweaks)
        if (t->kind != Kind::Startup && t->available && !t->state && !t->manual && t->impact == "High" && !t->adv)
            ++plain_left;
    ASSERT_GE(plain_left, 6u) << "the image leaves too few plain high-impact tweaks to tell";
    for (Tweak* t : wins) EXPECT_FALSE(t->adv) << t->id;
    bool seen_adv = false;
    for (Tweak* t : wins) {
        if (t->adv) seen_adv = true;
        EXPECT_FALSE(seen_adv && !t->adv) << "ADVANCED ones come last";
    }
    EXPECT_EQ(u()("List_Wins").children().size(), 6u);
}

TEST_F(Pages, FiltersHideAndShowCardsAndGroups) {
    const std::string page = "System";
    // A tool on the page (the page's own tools arrive with their actions).
    view().actions().add({"a_test", "System", "Run", "A test tool", "Does nothing.", [] { return std::string(); }});
    view().pages().build_tweak_page(page);
    auto& blocks = view().pages().blocks(page);
    ASSERT_GE(blocks.size(), 3u);
    const ui::GroupBlock& tools = blocks.back();
    ASSERT_EQ(tools.group, "Tools");
    ASSERT_FALSE(tools.body->children().empty());

    // The user folds the first group; "High impact" opens it again since it matches there.
    const ui::GroupBlock& first = blocks.front();
    // Only the left button's release folds (the right one's opens the browser's menu).
    for (int button : {2, 1}) {
        u().tree().dispatch(first.header->id(), "mouseup", button);
        ASSERT_TRUE(first.body->visible()) << "button " << button;
    }
    u().tree().dispatch(first.header->id(), "mouseup", 0);
    ASSERT_FALSE(first.body->visible());
    EXPECT_EQ(first.chevron->get("glyph"), "E76C");
    // A fold the user made of another group, one with no high-impact tweak, stays.
    const ui::GroupBlock* folded = nullptr;
    for (auto& b : blocks)
        if (!b.plain && &b != &first &&
            std::none_of(b.body->children().begin(), b.body->children().end(), [&](ui::Element* c) {
                return c->tag_element && tweak(c->tag_element->tag).impact == "High";
            }))
            folded = &b;
    ASSERT_TRUE(folded) << "every group of the page holds a high-impact tweak";
    u().tree().dispatch(folded->header->id(), "mouseup", 0);

    bool first_has_high = std::any_of(first.body->children().begin(), first.body->children().end(), [&](ui::Element* c) {
        return c->tag_element && tweak(c->tag_element->tag).impact == "High";
    });
    ASSERT_TRUE(first_has_high);
    click("Filter_System_Highimpact", true);
    EXPECT_TRUE(first.body->visible());
    EXPECT_EQ(first.chevron->get("glyph"), "E70D");
    EXPECT_FALSE(tools.header->visible()) << "actions show under All only";
    for (ui::Element* c : first.body->children())
        if (c->tag_element) EXPECT_EQ(c->visible(), tweak(c->tag_element->tag).impact == "High");
    EXPECT_GE(u()("Page_System").scrolled_to_top(), 1);

    click("Filter_System_All", true);
    EXPECT_TRUE(first.body->visible()) << "opened by the filter, it stays open";
    EXPECT_TRUE(tools.header->visible());
    for (ui::Element* c : tools.body->children()) EXPECT_TRUE(c->visible());
    EXPECT_FALSE(folded->body->visible()) << "the user's own fold stays";
    EXPECT_TRUE(folded->header->visible());
    EXPECT_TRUE(u()("Filter_System_All").checked());
    EXPECT_FALSE(u()("Filter_System_Highimpact").checked());

    // "Unavailable" shows only the cards of tweaks this PC does not offer, with their headers.
    click("Filter_System_Unavailable", true);
    size_t unavailable = 0;
    for (auto& b : blocks) {
        bool any = false;
        for (ui::Element* c : b.body->children()) {
            const bool shown = c->tag_element && !tweak(c->tag_element->tag).available;
            EXPECT_EQ(c->visible(), shown) << b.group;
            any = any || shown;
            unavailable += shown;
        }
        EXPECT_EQ(b.header->visible(), any) << b.group;
    }
    EXPECT_GT(unavailable, 0u) << "the page offers every tweak here";
    click("Filter_System_All", true);

    // On a page where every tweak is available it hides every header, tip and action card;
    // "All" brings them back.
    view().actions().add({"a_test2", "Latency", "Run", "Another tool", "Does nothing.", [] { return std::string(); }});
    view().pages().build_tweak_page("Latency");
    ASSERT_TRUE(std::all_of(cat().tweaks.begin(), cat().tweaks.end(), [](auto& t) { return t->page != "Latency" || t->available; }));
    auto& latency = view().pages().blocks("Latency");
    ASSERT_EQ(latency.back().group, "Tools");
    click("Filter_Latency_Unavailable", true);
    for (auto& b : latency) {
        EXPECT_FALSE(b.header->visible()) << b.group;
        for (ui::Element* c : b.body->children()) EXPECT_FALSE(c->visible()) << b.group;
    }
    click("Filter_Latency_All", true);
    for (auto& b : latency) {
        EXPECT_TRUE(b.header->visible()) << b.group;
        EXPECT_TRUE(b.body->visible()) << b.group;
        for (ui::Element* c : b.body->children()) EXPECT_TRUE(c->visible()) << b.group;
    }
}

// A radio chip already chosen: clicking it again runs nothing, so the page keeps its place and
// the user's folds.
TEST_F(Pages, ChoosingTheChosenFilterAgainChangesNothing) {
    const ui::GroupBlock& first = view().pages().blocks("System").front();
    ASSERT_TRUE(std::any_of(first.body->children().begin(), first.body->children().end(), [&](ui::Element* c) {
        return c->tag_element && tweak(c->tag_element->tag).impact == "High";
    }));
    const int scrolled = u()("Page_System").scrolled_to_top();
    click("Filter_System_All", true);
    EXPECT_EQ(u()("Page_System").scrolled_to_top(), scrolled) << "All is chosen from the start";

    click("Filter_System_Highimpact", true);
    ASSERT_EQ(u()("Page_System").scrolled_to_top(), scrolled + 1);
    u().tree().dispatch(first.header->id(), "mouseup", 0);
    ASSERT_FALSE(first.body->visible());
    click("Filter_System_Highimpact", true);
    EXPECT_FALSE(first.body->visible()) << "the fold stays";
    EXPECT_EQ(first.chevron->get("glyph"), "E76C");
    EXPECT_EQ(u()("Page_System").scrolled_to_top(), scrolled + 1);
    EXPECT_TRUE(u()("Filter_System_Highimpact").checked());
    EXPECT_FALSE(u()("Filter_System_All").checked());
}

TEST_F(Pages, TheGuideHeaderHidesUnderAFilterWhileItsCardsStay) {
    auto& blocks = view().pages().blocks("Fortnite");
    ASSERT_FALSE(blocks.empty());
    const ui::GroupBlock& guide = blocks.back();
    ASSERT_EQ(guide.group, "Pro in-game settings");
    EXPECT_FALSE(guide.chevron);
    ui::Element& list = *view().pages().page("Fortnite")->list;
    // The guide's header, its tip, then four guide cards close the list.
    ASSERT_GE(list.children().size(), 6u);
    auto tail = std::vector<ui::Element*>(list.children().end() - 5, list.children().end());
    click("Filter_Fortnite_Notactive", true);
    EXPECT_FALSE(guide.header->visible());
    for (ui::Element* e : tail) EXPECT_TRUE(e->visible());
    click("Filter_Fortnite_All", true);
    EXPECT_TRUE(guide.header->visible());
}

TEST_F(Pages, TheApplyGroupLinkAppliesWithoutFolding) {
    auto& blocks = view().pages().blocks("System");
    const ui::GroupBlock& g = blocks.front();
    ui::Element* link = nullptr;
    for (ui::Element* c : g.header->children())
        if (c->type() == "button") link = c;
    ASSERT_TRUE(link);
    EXPECT_EQ(link->text(), "Apply group");
    auto set = recommended_set(cat(), "System", g.group);
    ASSERT_FALSE(set.empty());
    answers = {"OK"};
    click(*link);
    EXPECT_TRUE(g.body->visible());
    for (Tweak* t : set)
        if (t->available) EXPECT_TRUE(t->state) << t->id;
    ASSERT_EQ(dialogs.size(), 1u);
    EXPECT_EQ(dialogs[0].title, "Done");
    EXPECT_EQ(dialogs[0].body.rfind("Applied ", 0), 0u) << dialogs[0].body;
}

TEST_F(Pages, BulkRunReportsProgressFailuresAndTheSummary) {
    auto set = recommended_set(cat(), "Debloat");
    size_t todo = size_t(std::count_if(set.begin(), set.end(), [](Tweak* t) { return t->available && !t->state; }));
    ASSERT_GT(todo, 2u);
    // One of them fails on its first registry write.
    Tweak* failing = nullptr;
    for (Tweak* t : set)
        if (t->available && !t->state && t->kind == Kind::Reg) failing = t;
    ASSERT_TRUE(failing);
    // The failing tweak's first value cannot be written during the run.
    const RegE& e = failing->data_as<RegData>().entries[0];
    const std::string locked = e.p.substr(e.p.find('\\')) + "\\" + e.n;
    pc->faults().on_write([&](const sim::PendingWrite& w) {
        if (w.op == "registry set" && std::string_view(w.target).ends_with(locked))
            throw platform::PlatformError("Access is denied.");
    });
    answers = {"OK"};
    click("BtnRecommended_Debloat");
    ASSERT_EQ(dialogs.size(), 1u);
    EXPECT_EQ(dialogs[0].title, "Done");
    EXPECT_EQ(dialogs[0].body.rfind("Applied " + std::to_string(todo - 1) + " tweaks. 1 could not be changed (details "
                                                                            "in the activity log).",
                                    0),
              0u)
        << dialogs[0].body;
    EXPECT_NE(log_text().find("] Failed: " + failing->title + " - "), std::string::npos);
    EXPECT_NE(log_text().find("] Applying 1/" + std::to_string(todo) + ": "), std::string::npos);
    EXPECT_EQ(text("StatusText"), "Applied " + std::to_string(todo - 1) + " tweaks.");
    EXPECT_FALSE(u()("DialogLayer").visible());
    EXPECT_FALSE(failing->state);
    Reg r(pc->registry());
    auto marks = get_applied_ids(r);
    EXPECT_EQ(std::count(marks.begin(), marks.end(), failing->id), 0);
}

TEST_F(Pages, GameRunningLeavesTheVideoSettingsOutOfABulkRun) {
    pc->start_process("FortniteClient-Win64-Shipping.exe");
    auto set = recommended_set(cat(), "Fortnite");
    ASSERT_TRUE(std::any_of(set.begin(), set.end(), [](Tweak* t) { return t->kind == Kind::Ini && t->available; }));
    std::vector<Tweak*> were_off;
    for (Tweak* t : set)
        if (t->kind == Kind::Ini && !t->state) were_off.push_back(t);
    ASSERT_FALSE(were_off.empty());
    answers = {"OK"};
    click("BtnRecommended_Fortnite");
    ASSERT_EQ(dialogs.size(), 1u);
    EXPECT_NE(dialogs[0].body.find("\n\nFortnite is running, so its video settings were skipped. Close it and apply again."),
              std::string::npos)
        << dialogs[0].body;
    for (Tweak* t : were_off) EXPECT_FALSE(t->state) << t->id;

    // Only video settings left to do: the run goes on and counts 0.
    dialogs.clear();
    std::vector<Tweak*> ini_only;
    for (Tweak* t : were_off)
        if (t->available) ini_only.push_back(t);
    view().invoke_bulk(ini_only, BulkMode::Apply);
    ASSERT_EQ(dialogs.size(), 1u);
    EXPECT_EQ(dialogs[0].body.rfind("Applied 0 tweaks.\n\nFortnite is running", 0), 0u) << dialogs[0].body;
}

TEST_F(Pages, NothingToDoSaysSoAndQuietOnlyLogs) {
    Tweak& t = tweak("pthrottle");
    click(*app->switches().of(t.id).front(), true);
    ASSERT_TRUE(t.state);
    view().invoke_bulk({&t}, BulkMode::Apply);
    ASSERT_EQ(dialogs.size(), 1u);
    EXPECT_EQ(dialogs[0].title, "Done");
    EXPECT_EQ(dialogs[0].body, "Everything here is already set.");
    EXPECT_EQ(text("StatusText"), "Nothing to change here.");
    view().invoke_bulk({&t}, BulkMode::Apply, /*quiet=*/true);
    EXPECT_EQ(dialogs.size(), 1u);
    EXPECT_EQ(text("StatusText"), "Nothing to change here.");
}

TEST_F(Pages, ARevertSummaryNeverAsksForARestart) {
    std::vector<Tweak*> restarting;
    for (auto& t : cat().tweaks)
        if (t->restart && t->available && !t->state && !t->adv && t->kind == Kind::Reg) restarting.push_back(t.get());
    ASSERT_FALSE(restarting.empty());
    restarting.resize(1);
    answers = {"OK"};
    view().invoke_bulk(restarting, BulkMode::Apply);
    ASSERT_EQ(dialogs.size(), 1u);
    EXPECT_NE(dialogs[0].body.find("\n\nRestart your PC so every change takes effect."), std::string::npos);
    EXPECT_TRUE(u()("RestartPill").visible());
    answers = {"OK"};
    view().invoke_bulk(restarting, BulkMode::Revert);
    ASSERT_EQ(dialogs.size(), 2u);
    EXPECT_EQ(dialogs[1].body, "Restored 1 tweaks.");
    EXPECT_TRUE(u()("RestartPill").visible());
}

TEST_F(Pages, RevertPageAsksFirstAndLeavesWhatWasSetBefore) {
    Tweak& mine = tweak("pthrottle");
    click(*app->switches().of(mine.id).front(), true);
    // Another tweak of the page, set by hand before: on without a record.
    Tweak* before = nullptr;
    for (auto& t : cat().tweaks)
        if (t->page == "System" && t->kind == Kind::Reg && t->available && !t->state && !t->adv && t.get() != &mine)
            before = t.get();
    ASSERT_TRUE(before);
    Reg r(pc->registry());
    for (auto& e : before->data_as<RegData>().entries)
        r.set(e.p, e.n, e.v, e.t);
    view().refresh_all();
    ASSERT_TRUE(before->state);
    ASSERT_FALSE(before->recorded);

    answers = {"No"};
    click("BtnRevert_System");
    ASSERT_EQ(dialogs.size(), 1u);
    EXPECT_EQ(dialogs[0].title, "Confirm");
    EXPECT_EQ(dialogs[0].body, "Restore original settings for every tweak on this page?");
    EXPECT_TRUE(mine.state);

    answers = {"Yes", "OK"};
    click("BtnRevert_System");
    ASSERT_EQ(dialogs.size(), 3u);
    EXPECT_FALSE(mine.state);
    EXPECT_TRUE(before->state);
    EXPECT_NE(dialogs[2].body.find(" already set before Vexlo Tweaks changed anything, and left as "), std::string::npos)
        << dialogs[2].body;
}

TEST_F(Pages, ProfilesAskWithTheirCountAndTheRestorePointQuestion) {
    auto set = profile_set(cat(), Profile::Competitive);
    size_t off = size_t(std::count_if(set.begin(), set.end(), [](Tweak* t) { return !t->state; }));
    ASSERT_GT(off, 0u);
    for (Tweak* t : set) {
        EXPECT_FALSE(t->adv || t->manual) << t->id;
        EXPECT_TRUE(t->impact == "High" || t->impact == "Med") << t->id;
    }
    testkit::RegSnapshot untouched = testkit::snapshot(pc->registry());
    answers = {"Cancel"};
    click("BtnProfileComp");
    ASSERT_EQ(dialogs.size(), 1u);
    EXPECT_EQ(dialogs[0].title, "Competitive");
    EXPECT_EQ(dialogs[0].body, std::string(profile_description(Profile::Competitive)) + "\n\n" + std::to_string(off) +
                                   " tweaks will change.\n\nCreate a Windows restore point first? (Recommended)");
    EXPECT_EQ(dialogs[0].buttons, (std::vector<std::string>{"Cancel", "Show changes", "No", "Yes"}));
    EXPECT_TRUE(testkit::snapshot(pc->registry()) == untouched) << "Cancel changes nothing";

    // "Show changes" lists values and comes back to the question; nothing changes meanwhile.
    answers = {"Show changes", "Back", "Cancel"};
    click("BtnProfileComp");
    ASSERT_EQ(dialogs.size(), 4u);
    EXPECT_EQ(dialogs[2].title, "What would change");
    EXPECT_NE(dialogs[2].body.find(" -> "), std::string::npos);
    EXPECT_NE(dialogs[2].body.find(set.front()->title), std::string::npos);
    EXPECT_EQ(dialogs[3].title, "Competitive");
    EXPECT_TRUE(testkit::snapshot(pc->registry()) == untouched) << "the preview changes nothing";

    dialogs.clear();
    answers = {"No", "OK"};
    click("BtnProfileComp");
    ASSERT_EQ(dialogs.size(), 2u);
    EXPECT_EQ(dialogs[1].title, "Done");
    for (Tweak* t : set)
        if (t->kind != Kind::Ini || !app->tweaks().game_running()) EXPECT_TRUE(t->state) << t->id;

    // Every member on: the already-active message with the internal name, no restore point.
    dialogs.clear();
    click("BtnProfileComp");
    ASSERT_EQ(dialogs.size(), 1u);
    EXPECT_EQ(dialogs[0].body, "Every tweak in the Competitive profile is already active.");
    EXPECT_EQ(dialogs[0].buttons, std::vector<std::string>{"OK"});
}

TEST_F(Pages, ApplyEverythingNamesTheRiskyOnesAndSkipsTradeOffs) {
    ApplyAllPlan plan = apply_all_plan(cat(), "Fortnite");
    EXPECT_TRUE(std::none_of(plan.set.begin(), plan.set.end(), [](Tweak* t) { return t->id == "ini_uncap"; }));
    ASSERT_TRUE(std::any_of(plan.trade_offs.begin(), plan.trade_offs.end(), [](Tweak* t) { return t->id == "fnav"; }))
        << "the Defender exclusion is not offered on this PC";
    answers = {"Skip trade-offs", "OK"};
    click("BtnEverything_Fortnite");
    ASSERT_GE(dialogs.size(), 1u);
    EXPECT_EQ(dialogs[0].title, "Apply everything on this tab?");
    EXPECT_EQ(dialogs[0].body.rfind("Turns on all " + std::to_string(plan.set.size()) + " tweaks on this tab", 0), 0u);
    EXPECT_NE(dialogs[0].body.find("\n\nEverything stays reversible. A restore point is made first."), std::string::npos);
    EXPECT_EQ(dialogs[0].buttons, (std::vector<std::string>{"Cancel", "Show changes", "Skip trade-offs", "Apply everything"}));
    EXPECT_FALSE(tweak("fnav").state);
    EXPECT_FALSE(tweak("ini_uncap").state);

    // Fifteen risky members: fourteen titles, then one line for the rest.
    Catalog many;
    for (int i = 0; i < 16; ++i) {
        auto t = std::make_unique<Tweak>();
        t->id = "r" + std::to_string(i);
        t->title = "Risky " + std::to_string(i);
        t->page = "System";
        t->kind = Kind::Svc;
        t->adv = i < 15;
        many.tweaks.push_back(std::move(t));
    }
    ApplyAllPlan p = apply_all_plan(many, "System");
    EXPECT_EQ(p.risky.size(), 15u);
    EXPECT_EQ(p.body, [] {
        std::string b = "Turns on all 16 tweaks on this tab, including 15 advanced ones:\n";
        for (int i = 0; i < 14; ++i) b += "\n  -  Risky " + std::to_string(i);
        return b + "\n  -  and 1 more\n\nEverything stays reversible. A restore point is made first.";
    }());
}

TEST_F(Pages, SearchWaitsForAPauseAndListsLiveCards) {
    type("p");
    after(500ms);
    EXPECT_EQ(visible_page(), "Page_Home") << "one character changes nothing";
    EXPECT_FALSE(u()("SearchHint").visible());
    type("pi");
    after(219ms);
    EXPECT_EQ(visible_page(), "Page_Home");
    type("pin");
    after(219ms);
    EXPECT_EQ(visible_page(), "Page_Home") << "each key restarts the wait";
    type("power");
    after(220ms);
    EXPECT_EQ(visible_page(), "Page_Search");
    size_t hits = 0;
    for (auto& t : cat().tweaks)
        if (ui::search_matches(t->title + " " + t->desc + " " + t->group + " " + t->page, "power")) ++hits;
    ASSERT_GT(hits, 0u);
    size_t shown = std::min(hits, ui::kSearchTweakHits);
    ui::Element& list = u()("List_Search");
    EXPECT_GE(list.children().size(), shown);
    EXPECT_EQ(text("PageSub_Search").substr(text("PageSub_Search").find(' ')), " results for \"power\"");
    EXPECT_TRUE(u()("Nav_Home").checked()) << "the rail keeps the last page";

    // A switch in the results and the same tweak's switch on its page show the same.
    ui::Element* card = list.children().front();
    ASSERT_TRUE(card->tag_element);
    Tweak& t = tweak(card->tag_element->tag);
    bool was = t.state;
    answers = {"Yes"};
    click(*card->tag_element, !was);
    ASSERT_NE(t.state, was) << t.id << " did not change";
    for (ui::Element* sw : app->switches().of(t.id)) EXPECT_EQ(sw->checked(), t.state);

    // Choosing a page empties the box, and the results do not come back.
    click("Nav_" + t.page, true);
    EXPECT_EQ(visible_page(), "Page_" + t.page);
    EXPECT_EQ(u()("SearchBox").get("value"), "");
    EXPECT_TRUE(u()("SearchHint").visible());
    after(1000ms);
    EXPECT_EQ(visible_page(), "Page_" + t.page);
    for (ui::Element* sw : app->switches().of(t.id)) EXPECT_EQ(sw->checked(), t.state);
}

TEST_F(Pages, SearchEdgeCases) {
    // Blanks around one letter count as one character.
    type("  a ");
    after(220ms);
    EXPECT_EQ(visible_page(), "Page_Home");
    // The page name matches, in any case: every Debloat tweak is found (up to the cap).
    type("debloat");
    after(220ms);
    size_t debloat = 0;
    for (auto& t : cat().tweaks) debloat += t->page == "Debloat";
    ASSERT_GT(debloat, 60u);
    size_t actions = 0;
    for (ui::Action* a : view().actions().all()) actions += ui::search_matches(a->title + " " + a->desc, "debloat");
    EXPECT_EQ(text("PageSub_Search"), std::to_string(60 + actions) + " results for \"debloat\"");
    EXPECT_EQ(u()("List_Search").children().size(), 60 + actions);
    // Actions are found by title and description.
    type("restore point");
    after(220ms);
    std::function<bool(ui::Element&)> holds = [&](ui::Element& e) {
        if (e.text() == "Create restore point") return true;
        for (ui::Element* c : e.children())
            if (holds(*c)) return true;
        return false;
    };
    EXPECT_TRUE(holds(u()("List_Search")));
    EXPECT_NE(text("PageSub_Search").find(" results for \"restore point\""), std::string::npos);
    // No hits: one tip.
    type("zzzz");
    after(220ms);
    ASSERT_EQ(u()("List_Search").children().size(), 1u);
    EXPECT_EQ(text("PageSub_Search"), "0 results for \"zzzz\"");
    // Emptying the box returns to the last page.
    type("");
    EXPECT_TRUE(u()("SearchHint").visible());
    after(220ms);
    EXPECT_EQ(visible_page(), "Page_Home");
}

TEST(Search, FoldsTheCaseOfEveryLetterItKnows) {
    struct Case {
        const char* haystack;
        const char* query;
        bool found;
    };
    const Case cases[] = {
        {"Élan", "élan", true},
        {"Élan", "ÉLAN", true},
        {"Startup: élan.exe", "ÉLAN", true},
        {"ÀÇÈÌÑÒÙÝÞ Ÿ", "àçèìñòùýþ ÿ", true},
        {"ŁÓDŹ ĽUBOŠ ĲŊŦ", "łódź ľuboš ĳŋŧ", true},
        {"ΣΊΣΥΦΟΣ ΆΈΏ", "σίσυφος άέώ", true},  // the final sigma folds to sigma
        {"ПРИВЕТ ЁЖ ЇҐ Ӂ", "привет ёж їґ ӂ", true},
        {"ĐẠI VIỆT", "đại việt", true},
        {"ſ K", "S K", true},  // long s, Kelvin sign
        {"×", "÷", false},           // signs of Latin-1, not letters
        {"e", "é", false},
        {"é", "e", false},
        {"Straße", "STRASSE", false},  // nothing expands
        {"a\xFF" "b", "\xFF" "B", true},   // a stray byte matches itself
        {"Power plan", "PLAN", true},
        {"", "a", false},
    };
    for (const Case& c : cases) EXPECT_EQ(ui::search_matches(c.haystack, c.query), c.found) << c.haystack << " / " << c.query;
}

TEST_F(Pages, SearchFindsAStartupEntryInEitherCase) {
    Reg r(pc->registry());
    r.set("HKCU:\\Software\\Microsoft\\Windows\\CurrentVersion\\Run", "Élan", Json("C:\\Program Files\\Elan\\elan.exe"),
          platform::RegKind::String);
    click("BtnRescan_Startup");
    for (const char* query : {"élan", "ÉLAN"}) {
        type(query);
        after(220ms);
        bool found = false;
        for (ui::Element* card : u()("List_Search").children())
            if (card->tag_element && tweak(card->tag_element->tag).title == "Élan") found = true;
        EXPECT_TRUE(found) << query << ": " << text("PageSub_Search");
    }
}

TEST_F(Pages, ActionsShowTheirResultOrTheirFailure) {
    ui::ActionMap& actions = view().actions();
    // The Backup page's tools, in the table's order.
    auto backup = actions.of_page("Backup");
    ASSERT_EQ(backup.size(), 3u);
    EXPECT_EQ(backup[0]->id, "a_restore");
    EXPECT_EQ(backup[1]->id, "a_revertall");
    EXPECT_EQ(backup[2]->id, "a_recheck");
    auto button_of = [&](const std::string& id) -> ui::Element& {
        std::function<ui::Element*(ui::Element&)> find = [&](ui::Element& e) -> ui::Element* {
            if (e.type() == "button" && e.tag == id) return &e;
            for (ui::Element* c : e.children())
                if (ui::Element* f = find(*c)) return f;
            return nullptr;
        };
        ui::Element* b = find(*view().pages().page(actions.find(id)->page)->list);
        if (!b) throw std::runtime_error("no button for " + id);
        return *b;
    };
    ui::Element& recheck = button_of("a_recheck");
    click(recheck);
    ui::Element* line = u().tree().by_id(actions.find("a_recheck")->result_id);
    ASSERT_TRUE(line);
    EXPECT_TRUE(line->visible());
    EXPECT_EQ(line->text(), "Up to date");
    EXPECT_EQ(text("ToastText"), "Re-check everything: Up to date");
    EXPECT_TRUE(recheck.enabled());

    // Nothing returned: the line and the toast stay as they were. A failure keeps the line too.
    int calls = 0;
    actions.find("a_recheck")->run = [&]() -> std::string {
        if (++calls == 2) throw std::runtime_error("the disk is full");
        return {};
    };
    click(recheck);
    EXPECT_EQ(line->text(), "Up to date");
    click(recheck);
    EXPECT_EQ(line->text(), "Up to date");
    EXPECT_EQ(text("StatusText"), "Failed: Re-check everything - the disk is full");
    EXPECT_TRUE(recheck.enabled());

    // Revert every tweak asks first; No changes nothing.
    Tweak& t = tweak("pthrottle");
    click(*app->switches().of(t.id).front(), true);
    answers = {"No"};
    click(button_of("a_revertall"));
    EXPECT_TRUE(t.state);
    EXPECT_EQ(u().tree().by_id(actions.find("a_revertall")->result_id)->text(), "Cancelled");
    answers = {"Yes"};
    click(button_of("a_revertall"));
    EXPECT_FALSE(t.state);
    EXPECT_EQ(u().tree().by_id(actions.find("a_revertall")->result_id)->text(), "Reverted");
    EXPECT_EQ(dialogs.back().title, "Confirm") << "the quiet run shows no summary";
}

TEST_F(Pages, AnAdapterChangeIsRestartedByTheNextBulkRunOnce) {
    // A property change from a single switch leaves the adapters to restart.
    app->tweaks().engine().nic_dirty = true;
    int before = pc->adapter_restarts("Ethernet");
    answers = {"OK", "OK"};
    view().invoke_bulk(recommended_set(cat(), "System"), BulkMode::Apply);
    EXPECT_EQ(pc->adapter_restarts("Ethernet"), before + 1);
    EXPECT_FALSE(app->tweaks().nic_dirty());
    view().invoke_bulk(recommended_set(cat(), "Debloat"), BulkMode::Apply);
    EXPECT_EQ(pc->adapter_restarts("Ethernet"), before + 1) << "once";
}

TEST_F(Pages, TheStartupPageBlocksAndCounts) {
    std::vector<Tweak*> items;
    for (auto& t : cat().tweaks)
        if (t->kind == Kind::Startup) items.push_back(t.get());
    ASSERT_FALSE(items.empty());
    size_t blocked = size_t(std::count_if(items.begin(), items.end(), [](Tweak* t) { return t->state; }));
    EXPECT_EQ(text("Counter_Startup"), std::to_string(blocked) + " of " + std::to_string(items.size()) + " blocked");
    EXPECT_EQ(text("NavCount_Startup"), std::to_string(items.size() - blocked));
    // Below the tip, the first group keeps a group's plain top margin; a tweak page's first
    // group has the small one.
    ASSERT_FALSE(view().pages().blocks("Startup").empty());
    EXPECT_EQ(view().pages().blocks("System").front().header->get("css")["margin"], "8px 0 9px 2px");
    for (auto& b : view().pages().blocks("Startup")) {
        EXPECT_EQ(b.header->get("css")["margin"], "20px 0 9px 2px") << b.group;
        EXPECT_TRUE(b.chevron) << b.group;
        for (ui::Element* c : b.header->children()) EXPECT_NE(c->type(), "button") << "no Apply group on " << b.group;
        EXPECT_TRUE(view().pages().group_counters().count("Startup|" + b.group));
    }
    Tweak* open = nullptr;
    for (Tweak* t : items)
        if (!t->state) open = t;
    ASSERT_TRUE(open);
    click(*app->switches().of(open->id).front(), true);
    EXPECT_TRUE(open->state);
    EXPECT_EQ(text("Counter_Startup"), std::to_string(blocked + 1) + " of " + std::to_string(items.size()) + " blocked");
    click("BtnRescan_Startup");
    EXPECT_EQ(text("StatusText"), "Startup apps rescanned.");
    EXPECT_EQ(text("Counter_Startup"), std::to_string(blocked + 1) + " of " + std::to_string(items.size()) + " blocked");
}

TEST_F(Pages, AStartupPageWithNothingOnItSaysSo) {
    // Every source emptied: no entries after a rescan.
    using platform::Hive;
    platform::Registry& r = pc->registry();
    for (auto [hive, key] : {std::pair{Hive::CurrentUser, "Software\\Microsoft\\Windows\\CurrentVersion\\Run"},
                             std::pair{Hive::LocalMachine, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run"},
                             std::pair{Hive::LocalMachine, "SOFTWARE\\WOW6432Node\\Microsoft\\Windows\\CurrentVersion\\Run"}})
        for (auto& n : r.value_names(hive, key)) r.remove(hive, key, n);
    for (auto folder : {platform::KnownFolder::Startup, platform::KnownFolder::CommonStartup}) {
        std::string dir = pc->files().known_folder(folder);
        for (auto& e : pc->files().list(dir)) pc->files().remove(dir + "\\" + e.name);
    }
    click("BtnRescan_Startup");
    ui::Element& list = *view().pages().page("Startup")->list;
    ASSERT_EQ(list.children().size(), 1u);
    EXPECT_EQ(text("Counter_Startup"), "0 of 0 blocked");
    EXPECT_EQ(text("NavCount_Startup"), "0");
    EXPECT_TRUE(app->switches().of("st_1").empty());
}
