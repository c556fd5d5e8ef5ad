// The change service: the order of a change, its questions and reports, the list rules of the
// command line, and the announcements the views follow.
#include <gtest/gtest.h>

#include "app/tools/applied_marks.h"
#include "headless_app.h"

using namespace vexlo;
using testkit::Headless;

namespace {

// A front that records what the change said and answers the ADVANCED question as told.
struct RecordingFront : ChangeFront {
    bool confirm = true;
    int asked = 0;
    std::vector<std::string> refused;  // ids refused for the running game
    std::vector<std::pair<std::string, LogKind>> lines;
    std::vector<std::string> toasts;

    void log(std::string_view m, LogKind k) override { lines.emplace_back(std::string(m), k); }
    void toast(std::string_view t) override { toasts.emplace_back(t); }
    bool confirm_advanced(const Tweak&) override {
        ++asked;
        return confirm;
    }
    void game_running(const Tweak& t) override { refused.push_back(t.id); }
};

struct Service : ::testing::Test {
    Headless h;
    RecordingFront front;
    TweakService& service() { return h.app->tweaks(); }
    std::vector<std::string> applied() {
        Reg r = h.reg();
        return get_applied_ids(r);
    }
};

}  // namespace

TEST_F(Service, ChangeBacksUpMarksReportsAndRevertsInOrder) {
    Tweak& t = h.tweak("pthrottle");
    EXPECT_EQ(service().toggle(t, true, front), ChangeOutcome::Changed);
    EXPECT_TRUE(t.state);
    EXPECT_TRUE(h.store().has("pthrottle"));
    EXPECT_EQ(applied().back(), "pthrottle");
    ASSERT_EQ(front.lines.size(), 1u);
    EXPECT_EQ(front.lines[0], std::make_pair(std::string("Applied: Disable power throttling"), LogKind::Ok));
    EXPECT_EQ(front.toasts, std::vector<std::string>{"On: Disable power throttling"});

    EXPECT_EQ(service().toggle(t, false, front), ChangeOutcome::Changed);
    EXPECT_FALSE(t.state);
    EXPECT_FALSE(h.store().has("pthrottle"));
    EXPECT_TRUE(applied().empty() || applied().back() != "pthrottle");
    EXPECT_EQ(front.lines.back(), std::make_pair(std::string("Restored: Disable power throttling"), LogKind::Info));
    EXPECT_EQ(front.toasts.back(), "Restored: Disable power throttling");
    EXPECT_EQ(front.asked, 0);
}

TEST_F(Service, AdvancedIsAskedOncePerRunAndOnlyWhenTurningOn) {
    Tweak& t = h.tweak("fse");
    ASSERT_TRUE(t.adv);
    front.confirm = false;
    EXPECT_EQ(service().toggle(t, true, front), ChangeOutcome::Declined);
    EXPECT_FALSE(t.state);
    EXPECT_FALSE(h.store().has("fse"));
    EXPECT_TRUE(front.lines.empty()) << "a declined change reports nothing";

    front.confirm = true;
    EXPECT_EQ(service().toggle(t, true, front), ChangeOutcome::Changed);
    EXPECT_EQ(service().toggle(t, false, front), ChangeOutcome::Changed);
    EXPECT_EQ(service().toggle(t, true, front), ChangeOutcome::Changed);
    EXPECT_EQ(front.asked, 2) << "asked when declined, and once when confirmed";
}

TEST_F(Service, GameSettingsWaitWhileTheGameRunsInBothDirections) {
    Tweak& t = h.tweak("ini_blur");
    h.pc->start_process("FortniteClient-Win64-Shipping.exe");
    for (bool want : {true, false}) {
        EXPECT_EQ(service().toggle(t, want, front), ChangeOutcome::GameRunning);
        EXPECT_FALSE(h.store().has("ini_blur"));
    }
    EXPECT_EQ(front.refused, (std::vector<std::string>{"ini_blur", "ini_blur"}));
    EXPECT_TRUE(front.lines.empty());
    h.pc->stop_process("FortniteClient-Win64-Shipping.exe");
    EXPECT_EQ(service().toggle(t, true, front), ChangeOutcome::Changed);
    EXPECT_TRUE(t.state);
}

TEST_F(Service, AFailedWriteIsReportedAndLeavesMarkAndFlagAsTheyWere) {
    Tweak& t = h.tweak("faststart");  // needs a restart
    ASSERT_TRUE(t.restart);
    auto before = applied();
    h.pc->faults().fail_registry_write(1);
    EXPECT_EQ(service().toggle(t, true, front), ChangeOutcome::Failed);
    EXPECT_FALSE(t.state);
    EXPECT_EQ(applied(), before);
    EXPECT_FALSE(service().restart_pending());
    ASSERT_EQ(front.lines.size(), 1u);
    EXPECT_EQ(front.lines[0].second, LogKind::Err);
    EXPECT_EQ(front.lines[0].first.rfind("Failed: " + t.title + " - ", 0), 0u) << front.lines[0].first;
    EXPECT_TRUE(front.toasts.empty());
}

TEST_F(Service, RestartPendingIsHeardOnceAndStays) {
    int heard = 0;
    service().on_restart_pending([&] { ++heard; });
    Tweak& t = h.tweak("faststart");
    service().toggle(t, true, front);
    service().toggle(t, false, front);
    EXPECT_TRUE(service().restart_pending()) << "reverting does not clear it";
    EXPECT_EQ(heard, 1);
}

TEST_F(Service, ListChangesLeaveUnavailableAndAlreadySetTweaksAlone) {
    Headless win10("desktop10");
    TweakService& s = win10.app->tweaks();
    Tweak& gtimer = win10.tweak("gtimer");  // Windows 11 only
    Tweak& on = win10.tweak("pthrottle");
    Tweak& off = win10.tweak("prisep");
    ASSERT_FALSE(gtimer.available);
    s.toggle(on, true, front);
    ASSERT_TRUE(on.state);
    ASSERT_FALSE(off.state);
    front.lines.clear();

    auto results = s.change_each({&gtimer, &on, &off}, true, front);
    ASSERT_EQ(results.size(), 3u);
    EXPECT_EQ(results[0].outcome, ChangeOutcome::Unavailable);
    EXPECT_EQ(results[1].outcome, ChangeOutcome::AlreadySet);
    EXPECT_EQ(results[2].outcome, ChangeOutcome::Changed);
    EXPECT_TRUE(off.state) << "re-read after the change";
    EXPECT_FALSE(win10.store().has("gtimer"));
    ASSERT_EQ(front.lines.size(), 1u) << "only the change itself is reported";
}

TEST_F(Service, ViewsHearEveryFreshReadingOfWhatAChangeMayHaveMoved) {
    std::vector<std::string> heard;
    int id = service().subscribe([&](const Tweak& t) { heard.push_back(t.id); });

    // A registry tweak shares its values with its group: the whole group is read again.
    Tweak& reg = h.tweak("pthrottle");
    service().toggle(reg, true, front);
    std::vector<std::string> group;
    for (auto& t : service().catalog().tweaks)
        if (t->page == reg.page && t->group == reg.group) group.push_back(t->id);
    EXPECT_EQ(heard, group);

    // A service tweak moves only itself.
    heard.clear();
    service().toggle(h.tweak("svc_sysmain"), true, front);
    EXPECT_EQ(heard, std::vector<std::string>{"svc_sysmain"});

    // Declined and refused changes are read again too, so a switch goes back to the truth.
    heard.clear();
    front.confirm = false;
    service().toggle(h.tweak("fse"), true, front);
    EXPECT_FALSE(heard.empty());

    service().unsubscribe(id);
    heard.clear();
    service().refresh_all();
    EXPECT_TRUE(heard.empty());
}

TEST_F(Service, FullRefreshAnnouncesEveryTweak) {
    size_t heard = 0;
    service().subscribe([&](const Tweak&) { ++heard; });
    size_t steps = 0;
    service().refresh_all([&](size_t, size_t) { ++steps; });
    EXPECT_EQ(heard, service().catalog().tweaks.size());
    EXPECT_EQ(steps, service().catalog().tweaks.size());
}
