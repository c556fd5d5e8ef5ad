// The game booster on the simulated PC with a frozen clock: the tick and its game-start edge,
// priorities, closing apps, the timer hold, the standby purges and their spacing, the page and
// its texts, "Clean now", and start with Windows through the protected copy.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

#include "app/core/booster_options.h"
#include "app/tools/booster/booster.h"
#include "app/tools/size_text.h"
#include "app/ui/main_view.h"
#include "dialog_answers.h"
#include "headless_app.h"

using namespace vexlo;
using namespace std::chrono_literals;
using platform::PriorityClass;

namespace {

constexpr uint64_t kMiB = 1024ull * 1024;
constexpr uint64_t kGiB = 1024 * kMiB;
constexpr const char* kGame = "FortniteClient-Win64-Shipping.exe";

// The window of a started product on a fresh simulated PC, and a booster started on it as the
// application starts its tools (with the window's action table).
struct Rig {
    testkit::Headless h;
    EventLoop loop;
    BoostTimer timer;
    Reg reg;
    ui::WindowFront front;
    ModuleContext ctx;
    booster::BoosterModule b;
    std::vector<std::string> answers;
    std::vector<std::string> dialogs;  // title + "|" + body of each dialog shown

    explicit Rig(std::string_view image = "desktop11", bool frozen = true)
        : h(image),
          loop(h.pc->clock()),
          timer(loop, nullptr, {}),
          reg(h.pc->registry()),
          front(h.app->window()),
          ctx{loop, *h.pc, h.app->tweaks(), front, h.app->window(), reg, timer, &h.app->view().actions()} {
        if (frozen) h.pc->freeze_clock();
        // Quiet memory: nothing for the standby check to do unless a test says so.
        h.pc->set_memory_lists(8 * kGiB, 512 * kMiB);
        testkit::answer_dialogs(ui(), answers, [this](ui::Ui& w) {
            dialogs.push_back(w("DlgTitle").text() + "|" + w("DlgBody").text());
        });
        b.build_page(ui()("HostGrid"));
    }
    ui::Ui& ui() { return h.app->window(); }
    sim::SimMachine& pc() { return *h.pc; }
    void start() { b.start(ctx); }
    void set(std::string_view option, uint32_t v) { booster_options::set(reg, option, v); }
    void ticks(int n) {
        for (int i = 0; i < n; ++i) b.tick();
    }
    // Ticks until the count is a multiple of three: the next standby check has just run.
    void to_standby_check() {
        do b.tick();
        while (b.state().tick % 3 != 0);
    }
    std::string text(std::string_view name) { return ui()(name).text(); }
    bool checked(std::string_view name) { return ui()(name).checked(); }
    void click(std::string_view name, ui::Json value = nullptr) { click(ui()(name), value); }
    void click(ui::Element& e, ui::Json value = nullptr) { ui().tree().dispatch(e.id(), "click", value); }
    PriorityClass prio(uint32_t pid) {
        for (auto& p : pc().process_list())
            if (p.pid == pid) return p.priority;
        throw std::runtime_error("no process " + std::to_string(pid));
    }
    bool running(uint32_t pid) {
        auto list = pc().process_list();
        return std::any_of(list.begin(), list.end(), [&](auto& p) { return p.pid == pid; });
    }
    // The resolutions this program holds requests for.
    std::vector<uint32_t> held() {
        std::vector<uint32_t> out;
        for (auto& r : pc().timer_requests())
            if (r.alive) out.push_back(r.value);
        return out;
    }
    int purges() { return pc().memory_state().purges; }
};

}  // namespace

// ---- Standby purges -----------------------------------------------------------------------

TEST(BoosterLimits, TenPercentOfWholeGibibytesAtLeastOneGibibyte) {
    struct Case {
        int ram_gb;
        double limit;
    } cases[] = {{8, 1.0 * kGiB}, {32, 3.2 * kGiB}, {0, 1.0 * kGiB}, {10, 1.0 * kGiB}, {16, 1.6 * kGiB}};
    for (auto& c : cases) EXPECT_DOUBLE_EQ(booster::free_memory_limit(c.ram_gb), c.limit) << c.ram_gb << " GiB";
    EXPECT_EQ(whole_gib(0), 0) << "an unknown size counts as none";
    EXPECT_EQ(whole_gib(34'219'364'352), 32);
    EXPECT_EQ(whole_gib(8'589'934'336), 8);
}

TEST(BoosterStandby, PurgesOnlyBelowTheLimitWithAGibibyteOfStandby) {
    // The 8 GiB PC's limit is 1 GiB (not 0.8); the 32 GiB PC's is 3.2 GiB.
    struct Case {
        const char* image;
        uint64_t free, standby;
        bool purged;
    } cases[] = {
        {"lowram11", kGiB - 1, 2 * kGiB, true},
        {"lowram11", kGiB, 2 * kGiB, false},
        {"lowram11", uint64_t(0.85 * kGiB), 2 * kGiB, true},
        {"desktop11", uint64_t(3.2 * kGiB) - 1, 2 * kGiB, true},
        {"desktop11", uint64_t(3.2 * kGiB) + 1, 2 * kGiB, false},  // 3.2 GiB is 3435973836.8 bytes
        {"desktop11", 0, 900 * kMiB, false},  // too little standby to be worth it, however low free memory is
        {"desktop11", 0, kGiB, true},
    };
    for (auto& c : cases) {
        Rig r(c.image);
        r.set("On", 1);
        r.start();
        r.pc().set_memory_lists(c.free, c.standby);
        r.ticks(1);  // tick 2: no check
        EXPECT_EQ(r.purges(), 0);
        r.ticks(1);  // tick 3
        EXPECT_EQ(r.purges(), c.purged ? 1 : 0) << c.image << " free " << c.free << " standby " << c.standby;
        EXPECT_EQ(r.b.state().purges, c.purged ? 1 : 0);
    }
}

TEST(BoosterStandby, UnforcedPurgesAreThirtySecondsApartAlsoAfterARefusal) {
    Rig r;
    r.set("On", 1);
    r.start();
    r.pc().set_purge_refused(true);
    r.pc().set_memory_lists(100 * kMiB, 4 * kGiB);
    r.to_standby_check();
    EXPECT_EQ(r.purges(), 0);
    EXPECT_EQ(r.b.state().purges, 0) << "a refusal counts nothing";
    ASSERT_TRUE(r.b.state().last_purge) << "but it is the last attempt";

    r.pc().set_purge_refused(false);
    r.pc().advance_clock(29'999ms);
    r.to_standby_check();
    EXPECT_EQ(r.purges(), 0) << "within 30 s of the refused attempt";
    r.pc().advance_clock(1ms);
    r.to_standby_check();
    EXPECT_EQ(r.purges(), 1);

    // Standby is gone now; fill it again: the spacing holds from this purge, but a forced one
    // (the tray's "Clean memory now") ignores it.
    r.pc().set_memory_lists(100 * kMiB, 4 * kGiB);
    r.pc().advance_clock(10s);
    r.to_standby_check();
    EXPECT_EQ(r.purges(), 1);
    EXPECT_TRUE(r.b.clean_memory_now());
    EXPECT_EQ(r.purges(), 2);
    EXPECT_EQ(r.b.state().purges, 2);

    // Cleaner off: no check at all.
    r.set("Cleaner", 0);
    r.pc().set_memory_lists(100 * kMiB, 4 * kGiB);
    r.pc().advance_clock(60s);
    r.ticks(3);
    EXPECT_EQ(r.purges(), 2);
}

TEST(BoosterStandby, UnreadableListsMeanNoCheck) {
    Rig r;
    r.set("On", 1);
    r.start();
    r.pc().set_memory_lists(100 * kMiB, 4 * kGiB);
    r.pc().set_memory_lists_readable(false);
    r.ticks(3);
    EXPECT_EQ(r.purges(), 0);
}

// ---- The game's start and exit ----------------------------------------------------------

TEST(BoosterGame, RaisesTheGameLowersOnlyNormalOnesAndPutsBackOnlyWhatItLowered) {
    Rig r;
    r.set("On", 1);
    r.start();
    const uint32_t teams = r.pc().start_process("Teams.exe");
    const uint32_t spotify = r.pc().start_process("Spotify.exe", PriorityClass::BelowNormal);
    const uint32_t chrome = r.pc().start_process("chrome.exe", PriorityClass::High);
    const uint32_t edge = r.pc().start_process("MSEDGE.EXE", PriorityClass::Idle);
    const uint32_t creative = r.pc().start_process("Creative Cloud.exe");
    const uint32_t guarded = r.pc().start_process("steamwebhelper.exe", PriorityClass::Normal, /*refuses_changes=*/true);
    const uint32_t discord = r.pc().start_process("Discord.exe");  // not on the list
    r.ticks(1);
    EXPECT_FALSE(r.b.state().fn_running);

    const uint32_t game = r.pc().start_process(kGame);
    r.ticks(1);
    EXPECT_TRUE(r.b.state().fn_running);
    EXPECT_EQ(r.prio(game), PriorityClass::High);
    EXPECT_EQ(r.prio(teams), PriorityClass::BelowNormal);
    EXPECT_EQ(r.prio(creative), PriorityClass::BelowNormal);
    EXPECT_EQ(r.prio(spotify), PriorityClass::BelowNormal);
    EXPECT_EQ(r.prio(chrome), PriorityClass::High);
    EXPECT_EQ(r.prio(edge), PriorityClass::Idle);
    EXPECT_EQ(r.prio(guarded), PriorityClass::Normal) << "a guarded process is skipped";
    EXPECT_EQ(r.prio(discord), PriorityClass::Normal);
    const auto& lowered = r.b.state().lowered;
    EXPECT_TRUE(lowered.contains(teams));
    EXPECT_TRUE(lowered.contains(creative));
    for (uint32_t pid : {spotify, chrome, edge, guarded, discord, game}) EXPECT_FALSE(lowered.contains(pid)) << pid;
    // Every recorded one is a process of the list that this booster moved.
    for (auto& [pid, _] : lowered) EXPECT_EQ(r.prio(pid), PriorityClass::BelowNormal);
    EXPECT_EQ(r.purges(), 1) << "the game's start flushes the standby list";
    EXPECT_EQ(r.text("ToastText"), "Fortnite detected. Booster engaged.");

    // While it runs: a program started now is left alone, the edge does not fire again, and the
    // player moves Teams somewhere else.
    const uint32_t late = r.pc().start_process("OneDrive.exe");
    r.pc().set_process_priority(teams, PriorityClass::AboveNormal);
    r.ticks(2);
    EXPECT_EQ(r.prio(late), PriorityClass::Normal);
    EXPECT_EQ(r.purges(), 1);

    // The game exits: what was lowered goes back, except what the player moved.
    std::vector<uint32_t> back;
    for (auto& [pid, _] : lowered)
        if (pid != teams) back.push_back(pid);
    r.pc().stop_process(kGame);
    r.ticks(1);
    EXPECT_FALSE(r.b.state().fn_running);
    EXPECT_TRUE(r.b.state().lowered.empty());
    for (uint32_t pid : back) EXPECT_EQ(r.prio(pid), PriorityClass::Normal) << pid;
    EXPECT_EQ(r.prio(teams), PriorityClass::AboveNormal);
    EXPECT_EQ(r.prio(spotify), PriorityClass::BelowNormal);
    EXPECT_EQ(r.prio(chrome), PriorityClass::High);
    EXPECT_EQ(r.prio(edge), PriorityClass::Idle);
}

TEST(BoosterGame, PriorityOffLeavesEveryoneAlone) {
    Rig r;
    r.set("On", 1);
    r.set("Prio", 0);
    r.start();
    const uint32_t teams = r.pc().start_process("Teams.exe");
    const uint32_t game = r.pc().start_process(kGame);
    r.ticks(1);
    EXPECT_TRUE(r.b.state().fn_running);
    EXPECT_EQ(r.prio(game), PriorityClass::Normal);
    EXPECT_EQ(r.prio(teams), PriorityClass::Normal);
    EXPECT_TRUE(r.b.state().lowered.empty());
}

TEST(BoosterGame, ClosesPickedAppsCountingRefusalsAndIgnoringUnknownKeys) {
    Rig r;
    r.set("On", 1);
    r.set("Close", 1);
    booster_options::set_text(r.reg, "CloseList", "edge;Nope;;Steam");
    r.start();
    const uint32_t edge1 = r.pc().start_process("msedge.exe");
    const uint32_t edge2 = r.pc().start_process("msedge.exe");
    const uint32_t guarded = r.pc().start_process("steam.exe", PriorityClass::Normal, /*refuses_changes=*/true);
    const uint32_t helper = r.pc().start_process("steamwebhelper.exe");
    const uint32_t chrome = r.pc().start_process("chrome.exe");  // not picked
    // The image's own Edge and Steam processes count too.
    int picked = 0;
    for (auto& p : r.pc().process_list())
        for (const char* name : {"msedge", "steam", "steamwebhelper"}) picked += iequals(booster::process_stem(p.image), name);
    ASSERT_GE(picked, 4);
    r.pc().start_process(kGame);
    r.ticks(1);
    EXPECT_FALSE(r.running(edge1));
    EXPECT_FALSE(r.running(edge2));
    EXPECT_FALSE(r.running(helper));
    EXPECT_TRUE(r.running(guarded)) << "it refused";
    EXPECT_TRUE(r.running(chrome));
    EXPECT_EQ(r.b.state().closed, picked) << "every process found, stopped or not";

    r.b.update_ui();
    EXPECT_EQ(r.text("BoostLine2"), "Apps closed this session: " + std::to_string(picked));
}

TEST(BoosterGame, SwitchingOffReleasesAndRestoresAndOnWhileTheGameRunsIsANewStart) {
    Rig r;
    r.set("On", 1);
    r.start();
    const uint32_t teams = r.pc().start_process("Teams.exe");
    r.pc().start_process(kGame);
    r.ticks(1);
    ASSERT_EQ(r.prio(teams), PriorityClass::BelowNormal);
    ASSERT_EQ(r.held(), std::vector<uint32_t>{5000});

    r.click("BoostMaster", false);
    EXPECT_EQ(booster_options::get(r.reg, "On", 7), 0u);
    EXPECT_TRUE(r.held().empty());
    EXPECT_EQ(r.prio(teams), PriorityClass::Normal);
    EXPECT_FALSE(r.b.state().fn_running);
    EXPECT_EQ(r.text("BoostState"), "Booster is off");
    EXPECT_EQ(r.text("ToastText"), "Game Booster is OFF.");

    const int purges = r.purges();
    r.click("BoostMaster", true);
    EXPECT_TRUE(r.b.state().fn_running);
    EXPECT_EQ(r.prio(teams), PriorityClass::BelowNormal);
    EXPECT_EQ(r.purges(), purges + 1) << "the game's start again";
    EXPECT_EQ(r.text("BoostState"), "Boosting Fortnite");
    EXPECT_EQ(r.text("ToastText"), "Game Booster is ON. It keeps running in the tray when you close the window.");

    // At exit: the hold goes and the priorities come back; the game's stays.
    r.b.stop();
    EXPECT_TRUE(r.held().empty());
    EXPECT_EQ(r.prio(teams), PriorityClass::Normal);
    r.timer.tick();
    EXPECT_TRUE(r.held().empty()) << "a stopped booster's steps do nothing";
}

// ---- The timer hold ---------------------------------------------------------------------

TEST(BoosterTimer, ChipChangesTheHeldRequestInOneClickAndTimerOffReleasesAtOnce) {
    Rig r;
    r.set("On", 1);
    r.start();
    EXPECT_EQ(r.held(), std::vector<uint32_t>{5000}) << "held from the first tick";
    EXPECT_TRUE(r.checked("BoostRes_5000"));
    EXPECT_FALSE(r.checked("BoostRes_10000"));
    EXPECT_EQ(r.b.timer_now(), "0.5 ms");

    r.click("BoostRes_10000", true);
    EXPECT_EQ(r.held(), std::vector<uint32_t>{10000});
    EXPECT_EQ(r.b.state().timer_res, 10000u);
    EXPECT_EQ(booster_options::get(r.reg, "TimerRes", 0), 10000u);
    EXPECT_TRUE(r.checked("BoostRes_10000"));
    EXPECT_FALSE(r.checked("BoostRes_5000"));
    EXPECT_EQ(r.b.timer_now(), "1 ms");
    EXPECT_EQ(r.text("BoostLine1").substr(0, 13), "Timer: 1 ms  ");

    r.click("BoostOpt_Timer", false);
    EXPECT_TRUE(r.held().empty());
    EXPECT_FALSE(r.b.state().timer_held);
    EXPECT_EQ(r.text("ToastText"), "Off: Precise timer resolution");
    r.click("BoostOpt_Timer", true);
    EXPECT_EQ(r.held(), std::vector<uint32_t>{10000});
}

TEST(BoosterTimer, TextOfTheResolution) {
    struct Case {
        uint32_t units;
        const char* text;
    } cases[] = {{5000, "0.5 ms"}, {10000, "1 ms"}, {156250, "15.625 ms"}, {5005, "0.501 ms"}, {10001, "1 ms"}, {0, "0 ms"}};
    for (auto& c : cases) EXPECT_EQ(booster::timer_text(c.units), c.text) << c.units;
}

TEST(BoosterTimer, PageClicksTickAndTheirTicksCountTowardsTheStandbyCheck) {
    Rig r;
    r.set("On", 1);
    r.start();  // tick 1
    r.pc().set_memory_lists(100 * kMiB, 4 * kGiB);
    r.click("BoostOpt_Prio", false);  // tick 2
    EXPECT_EQ(r.purges(), 0);
    r.click("BoostOpt_Prio", true);  // tick 3: the standby check
    EXPECT_EQ(r.b.state().tick, 3);
    EXPECT_EQ(r.purges(), 1);
    // A close chip runs no tick.
    r.click("BoostClose_Edge", true);
    EXPECT_EQ(r.b.state().tick, 3);
}

// ---- The page ---------------------------------------------------------------------------

TEST(BoosterPage, TextsOffArmedAndBoosting) {
    Rig r;
    r.start();
    EXPECT_EQ(r.text("NavCount_Booster"), "OFF");
    EXPECT_EQ(r.ui()("NavCount_Booster").get("css").value("color", ""), "#6E685F");
    EXPECT_EQ(r.text("TxtBoosterHero"), "Game Booster: OFF");
    EXPECT_EQ(r.text("BoostState"), "Booster is off");
    EXPECT_EQ(r.text("BoostLine1"),
              "Flip the switch to start boosting. It waits in the background and kicks in when Fortnite launches.");
    EXPECT_EQ(r.text("BoostLine2"), "Timer right now: " + r.b.timer_now());
    EXPECT_FALSE(r.checked("BoostMaster"));
    EXPECT_TRUE(r.held().empty()) << "off holds nothing";

    r.click("BoostMaster", true);
    EXPECT_EQ(r.text("NavCount_Booster"), "ON");
    EXPECT_EQ(r.ui()("NavCount_Booster").get("css").value("color", ""), "#FBBE24");
    EXPECT_EQ(r.text("TxtBoosterHero"), "Game Booster: ON");
    EXPECT_EQ(r.text("BoostState"), "Armed. Waiting for Fortnite");
    EXPECT_EQ(r.text("BoostLine1"),
              "Timer: 0.5 ms   \u00B7   Memory cleaned: 0x   \u00B7   Apps lowered: 0");
    EXPECT_EQ(r.text("BoostLine2"), "Runs while Vexlo Tweaks is open or in the tray.");
    EXPECT_TRUE(r.checked("BoostMaster"));

    r.pc().start_process("Teams.exe");
    r.pc().start_process(kGame);
    r.b.tick();
    r.b.update_ui();
    EXPECT_EQ(r.text("BoostState"), "Boosting Fortnite");
    const size_t lowered = r.b.state().lowered.size();
    EXPECT_GE(lowered, 1u);
    EXPECT_EQ(r.text("BoostLine1"), "Timer: 0.5 ms   \u00B7   Memory cleaned: 1x   \u00B7   Apps lowered: " +
                                        std::to_string(lowered));

    // The timer's second step refreshes the page only while it is on screen.
    r.pc().stop_process(kGame);
    r.timer.tick();
    EXPECT_EQ(r.text("BoostState"), "Boosting Fortnite") << "the page is not on screen";
    r.h.app->view().show_page("Booster");
    r.timer.tick();
    EXPECT_EQ(r.text("BoostState"), "Armed. Waiting for Fortnite");
}

TEST(BoosterPage, RowsAndChipsWriteTheirOptions) {
    Rig r;
    booster_options::set_text(r.reg, "CloseList", "Teams;;Phone Link");
    r.start();
    // Defaults where nothing is stored.
    EXPECT_TRUE(r.checked("BoostOpt_Timer"));
    EXPECT_TRUE(r.checked("BoostOpt_Cleaner"));
    EXPECT_TRUE(r.checked("BoostOpt_Prio"));
    EXPECT_FALSE(r.checked("BoostOpt_Close"));
    EXPECT_TRUE(r.checked("BoostOpt_Tray"));
    EXPECT_TRUE(r.checked("BoostClose_Teams"));
    EXPECT_TRUE(r.checked("BoostClose_PhoneLink"));
    EXPECT_FALSE(r.checked("BoostClose_Edge"));

    r.click("BoostOpt_Tray", false);
    EXPECT_EQ(booster_options::get(r.reg, "Tray", 7), 0u);
    EXPECT_EQ(r.text("ToastText"), "Off: Keep running in the tray");
    r.click("BoostOpt_Close", true);
    EXPECT_EQ(booster_options::get(r.reg, "Close", 7), 1u);
    EXPECT_EQ(r.text("ToastText"), "On: Close apps when Fortnite starts");

    r.click("BoostClose_Edge", true);
    EXPECT_EQ(booster_options::get_text(r.reg, "CloseList", "?"), "Teams;Phone Link;Edge");
    r.click("BoostClose_Teams", false);
    EXPECT_EQ(booster_options::get_text(r.reg, "CloseList", "?"), "Phone Link;Edge");
    r.click("BoostClose_AdobeCC", true);
    EXPECT_EQ(booster_options::get_text(r.reg, "CloseList", "?"), "Phone Link;Edge;Adobe CC");
    auto raw = r.reg.get_raw(booster_options::kKey, "CloseList");
    ASSERT_TRUE(raw);
    EXPECT_EQ(raw->kind, platform::RegKind::String);

    // A stored resolution that is neither chip's selects none.
    Rig fresh;
    booster_options::set(fresh.reg, "TimerRes", 7500);
    fresh.start();
    EXPECT_FALSE(fresh.checked("BoostRes_5000"));
    EXPECT_FALSE(fresh.checked("BoostRes_10000"));
}

TEST(BoosterPage, AWrongTypedOptionReadsAsItsDefault) {
    Rig r;
    r.reg.set(booster_options::kKey, "On", ui::Json("1"), platform::RegKind::String);
    r.reg.set(booster_options::kKey, "Timer", ui::Json("0"), platform::RegKind::String);
    r.start();
    EXPECT_EQ(r.text("BoostState"), "Booster is off");
    EXPECT_FALSE(r.checked("BoostMaster"));
    EXPECT_TRUE(r.checked("BoostOpt_Timer"));
    r.set("On", 1);
    r.b.tick();
    EXPECT_EQ(r.held(), std::vector<uint32_t>{5000}) << "the text Timer reads as on";
}

TEST(BoosterPage, WithoutTheNativeCallsOnlyTheTipAndNothingNative) {
    Rig r;
    r.pc().set_booster_available(false);
    r.set("On", 1);
    r.pc().set_memory_lists(100 * kMiB, 4 * kGiB);
    r.start();
    ui::Element& list = r.ui()("List_Booster");
    ASSERT_EQ(list.children().size(), 1u);
    EXPECT_EQ(list.children()[0]->get("cls"), "Tip");
    EXPECT_EQ(r.ui().find("BoostMaster"), nullptr);
    EXPECT_EQ(r.b.timer_now(), "n/a");
    EXPECT_FALSE(r.b.clean_memory_now());
    EXPECT_FALSE(r.b.standby_purge(/*force=*/false));
    r.pc().start_process(kGame);
    r.ticks(3);
    EXPECT_TRUE(r.b.state().fn_running) << "ticks still run";
    EXPECT_TRUE(r.held().empty());
    EXPECT_EQ(r.purges(), 0);
    EXPECT_EQ(r.text("NavCount_Booster"), "ON") << "the badge still follows the switch";
}

TEST(BoosterPage, CleanNowReportsTheFreedSizeOrTheRefusalAndTheSearchFindsIt) {
    // The action waits 300 ms of the platform's time for Windows' counters: this machine's clock
    // follows the host's.
    Rig r("desktop11", /*frozen=*/false);
    r.start();
    ui::Action* purge = r.h.app->view().actions().find("a_purge");
    ASSERT_TRUE(purge) << "in the window's action table";
    EXPECT_EQ(purge->page, "Booster");
    ui::Element* button = nullptr;
    std::function<void(ui::Element&)> find = [&](ui::Element& e) {
        if (e.type() == "button" && e.tag == "a_purge") button = &e;
        for (ui::Element* c : e.children()) find(*c);
    };
    find(r.ui()("List_Booster"));
    ASSERT_TRUE(button);
    EXPECT_EQ(button->text(), "Clean now");
    auto result = [&] { return r.ui().tree().by_id(purge->result_id)->text(); };

    r.pc().set_memory_lists(2 * kGiB, 3 * kGiB + 512 * kMiB);
    r.click(*button);
    EXPECT_EQ(result(), "Freed 3.50 GB");
    EXPECT_EQ(r.text("ToastText"), "Clean standby memory now: Freed 3.50 GB");
    EXPECT_EQ(r.b.state().purges, 1);

    r.pc().set_memory_lists(2 * kGiB, 3 * kGiB);
    r.pc().set_memory_lists_readable(false);
    r.click(*button);
    EXPECT_EQ(result(), "Freed 0.0 MB") << "no reading, nothing to tell";
    r.pc().set_memory_lists_readable(true);

    r.pc().set_purge_refused(true);
    r.click(*button);
    EXPECT_EQ(result(), "Windows refused the request.");
    EXPECT_EQ(r.b.state().purges, 2);

    ui::MainView& view = r.h.app->view();
    view.search_text_changed("standby");
    view.run_search();
    button = nullptr;
    find(r.ui()("List_Search"));
    EXPECT_TRUE(button) << "the search lists the booster's tool";
}

TEST(BoosterFormat, SizesAsThePlayerReadsThem) {
    struct Case {
        uint64_t bytes;
        const char* text;
    } cases[] = {{0, "0.0 MB"}, {1'073'741'823, "1,024.0 MB"}, {kGiB, "1.00 GB"}, {3 * kGiB + 512 * kMiB, "3.50 GB"},
                 {1536 * kGiB, "1,536.00 GB"}, {52'428'800, "50.0 MB"}};
    for (auto& c : cases) EXPECT_EQ(format_size(c.bytes), c.text) << c.bytes;
}

// ---- Start with Windows -----------------------------------------------------------------

TEST(BoosterStartup, TheTaskStartsTheProtectedCopyAndGoesWithIt) {
    Rig r;
    r.pc().place_running_core();
    r.start();
    EXPECT_FALSE(r.checked("BoostStartup"));
    r.click("BoostStartup", true);
    EXPECT_TRUE(r.checked("BoostStartup"));
    EXPECT_EQ(r.text("ToastText"), "Booster will start with Windows.");
    auto task = r.pc().tasks().logon_task(booster::kTaskName);
    ASSERT_TRUE(task);
    const std::string copy = r.pc().self_copy().path();
    EXPECT_EQ(task->program, copy);
    EXPECT_TRUE(copy.starts_with("C:\\Program Files\\Vexlo Tweaks\\")) << copy;
    EXPECT_NE(task->program, r.pc().running_core_path());
    EXPECT_EQ(task->arguments, "--tray");
    EXPECT_EQ(task->user, r.pc().registry().expand_environment("%USERDOMAIN%\\%USERNAME%"));
    EXPECT_TRUE(r.pc().self_copy().current());

    r.click("BoostStartup", false);
    EXPECT_FALSE(r.checked("BoostStartup"));
    EXPECT_EQ(r.text("ToastText"), "Booster will no longer start with Windows.");
    EXPECT_FALSE(r.pc().tasks().logon_task(booster::kTaskName));
    EXPECT_FALSE(r.pc().self_copy().current());
    EXPECT_FALSE(r.pc().files().exists(copy));
}

TEST(BoosterStartup, AFailureIsShownAndTheSwitchShowsTheRealState) {
    Rig r;  // no core placed: the copy cannot be made
    r.start();
    r.answers = {"OK"};
    r.click("BoostStartup", true);
    ASSERT_EQ(r.dialogs.size(), 1u);
    EXPECT_TRUE(r.dialogs[0].starts_with("Heads up|Could not change the startup task: ")) << r.dialogs[0];
    EXPECT_FALSE(r.checked("BoostStartup"));
    EXPECT_FALSE(r.pc().tasks().logon_task(booster::kTaskName));
}

TEST(BoosterStartup, AStartMendsATaskThatPointsAnywhereButACurrentCopy) {
    Rig r;
    r.pc().place_running_core();
    // An older version's task, at the per-user install any program of the user may replace.
    const std::string user_copy = r.pc().running_core_path();
    r.pc().tasks().register_logon_task({std::string(booster::kTaskName), user_copy, "--tray", "DESKTOP\\Player"});
    r.start();
    auto task = r.pc().tasks().logon_task(booster::kTaskName);
    ASSERT_TRUE(task);
    EXPECT_EQ(task->program, r.pc().self_copy().path());
    EXPECT_TRUE(r.pc().self_copy().current());
    EXPECT_TRUE(r.checked("BoostStartup"));
    EXPECT_TRUE(r.dialogs.empty());

    // A newer core replaces the copy at the next start.
    r.pc().place_running_core("a newer build");
    EXPECT_FALSE(r.pc().self_copy().current());
    booster::BoosterModule next_start;
    next_start.build_page(r.ui()("HostGrid"));
    next_start.start(r.ctx);
    EXPECT_TRUE(r.pc().self_copy().current());
    EXPECT_EQ(r.pc().tasks().logon_task(booster::kTaskName)->program, r.pc().self_copy().path());
}

TEST(BoosterStartup, AStartThatCannotMendAnUnprotectedTaskRemovesItWithoutADialog) {
    Rig r;  // no core placed: the copy cannot be made
    r.pc().tasks().register_logon_task(
        {std::string(booster::kTaskName), r.pc().running_core_path(), "--tray", "DESKTOP\\Player"});
    r.start();
    EXPECT_TRUE(r.dialogs.empty());
    EXPECT_FALSE(r.pc().tasks().find("\\", booster::kTaskName));
    EXPECT_FALSE(r.checked("BoostStartup"));
}
