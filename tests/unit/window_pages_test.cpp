// The window beyond a single switch, on the element tree: counters and the score, filters and
// groups, bulk runs with their questions and reports, profiles, "Apply everything", navigation
// and search on the simulated PC's clock.
#include <gtest/gtest.h>

#include <algorithm>

#include "app/core/app.h"
#include "app/tools/applied_marks.h"
#include "app/tweaks/kinds/reg_kind.h"
#include "app/tweaks/score.h"
#include "app/tweaks/tweak_sets.h"
#include "app/ui/main_view.h"
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
        app->window().on_dialog_shown = [this](ui::Ui& u) {
            Shown s{u("DlgTitle").text(), u("DlgBody").text(), {}};
            for (ui::Element* b : u("DlgButtons").children()) s.buttons.push_back(b->tag);
            dialogs.push_back(s);
            std::string label = answers.empty() ? "" : answers.front();
            if (!answers.empty()) answers.erase(answers.begin());
            for (ui::Element* b : u("DlgButtons").children())
                if (b->tag == label) {
                    b->tree().dispatch(b->id(), "click", nullptr);
                    return;
                }
            u.end_dialog();  // Escape
        };
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
    if (plain_left >= 6)
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
    u().tree().dispatch(first.header->id(), "mouseup", nullptr);
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
    if (folded) u().tree().dispatch(folded->header->id(), "mouseup", nullptr);

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
    if (folded) {
        EXPECT_FALSE(folded->body->visible()) << "the user's own fold stays";
        EXPECT_TRUE(folded->header->visible());
    }
    EXPECT_TRUE(u()("Filter_System_All").checked());
    EXPECT_FALSE(u()("Filter_System_Highimpact").checked());

    // Every tweak here is available: "Unavailable" hides every header, tip and action card.
    bool all_available = std::all_of(cat().tweaks.begin(), cat().tweaks.end(),
                                     [&](auto& t) { return t->page != page || t->available; });
    if (all_available) {
        click("Filter_System_Unavailable", true);
        for (auto& b : blocks) EXPECT_FALSE(b.header->visible()) << b.group;
        click("Filter_System_All", true);
        for (auto& b : blocks) EXPECT_TRUE(b.header->visible()) << b.group;
        EXPECT_TRUE(tools.body->visible());
    }
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
