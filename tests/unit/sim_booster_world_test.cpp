// What the simulated PC gives the booster, the tray and the live tiles beyond the seam's common
// behaviour (booster_seam_test.cpp): exact timer arithmetic and requests of ended processes,
// the memory lists and their refusals, echo timing on the frozen clock, and everything shared
// through the folder with a second machine object, as a running core shares it with `vexlo sim`.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <mutex>
#include <thread>

#include "platform/sim/sim_machine.h"
#include "sim_test_support.h"

namespace {

using namespace vexlo::platform;
using namespace std::chrono_literals;
using vexlo::sim::SimMachine;
namespace fs = std::filesystem;

class SimBoosterWorld : public vexlo::testkit::SimFolderTest {};

constexpr uint64_t MiB = 1024 * 1024;

// Runs `body` in a forked child, which ends with _exit(0) as a killed program would: no
// destructor, nothing released.
void in_child(const std::function<void()>& body) {
    pid_t pid = ::fork();
    if (pid == 0) {
        try {
            body();
        } catch (...) {
            ::_exit(98);
        }
        ::_exit(0);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
}

bool wait_until(const std::function<bool()>& done) {
    for (auto deadline = std::chrono::steady_clock::now() + 5s; !done();) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(10ms);
    }
    return true;
}

// ---- Processes ----

TEST_F(SimBoosterWorld, ProcessPrioritiesAreSharedThroughTheFolder) {
    auto a = open();
    auto b = open();
    const uint32_t game = a->start_process("FortniteClient-Win64-Shipping.exe");
    EXPECT_EQ(b->processes().priority(game), PriorityClass::Normal);
    a->processes().set_priority(game, PriorityClass::High);
    EXPECT_EQ(b->processes().priority(game), PriorityClass::High);

    const uint32_t guarded = b->start_process("EasyAntiCheat_EOS.exe", PriorityClass::Normal, true);
    EXPECT_THROW(a->processes().set_priority(guarded, PriorityClass::BelowNormal), PlatformError);
    EXPECT_THROW(a->processes().terminate(guarded), PlatformError);
    a->set_process_priority(guarded, PriorityClass::AboveNormal);  // as the user in Task Manager
    EXPECT_EQ(b->processes().priority(guarded), PriorityClass::AboveNormal);

    b->processes().terminate(game);
    EXPECT_EQ(a->processes().priority(game), std::nullopt);
    for (auto& p : a->processes().list()) EXPECT_NE(p.pid, game);
}

TEST_F(SimBoosterWorld, AProcessListWrittenBeforePrioritiesReadsAsNormal) {
    open();
    std::ofstream(dir_ / "processes.json") << R"([{"pid": 4, "image": "System"}, {"pid": 8, "image": "steam.exe"}])";
    auto m = open();
    auto list = m->process_list();
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(list[1].priority, PriorityClass::Normal);
    EXPECT_FALSE(list[1].refuses_changes);
}

TEST_F(SimBoosterWorld, GamingImagesRunWhatAPlayersPcRuns) {
    auto count = [](SimMachine& m, std::function<bool(const SimMachine::ProcessState&)> f) {
        auto l = m.process_list();
        return std::count_if(l.begin(), l.end(), f);
    };
    auto m = open("desktop11");
    for (const char* image : {"steam.exe", "steamwebhelper.exe", "Discord.exe", "Spotify.exe", "msedge.exe",
                              "OneDrive.exe", "Widgets.exe", "WidgetService.exe", "PhoneExperienceHost.exe",
                              "SearchHost.exe", "EpicGamesLauncher.exe", "EpicWebHelper.exe"})
        EXPECT_GT(count(*m, [&](auto& p) { return p.image == image; }), 0) << image;
    EXPECT_GT(count(*m, [](auto& p) { return p.image == "msedge.exe"; }), 1);
    EXPECT_EQ(count(*m, [](auto& p) { return p.image == "EasyAntiCheat_EOS.exe" && p.refuses_changes; }), 1);
    for (PriorityClass c : {PriorityClass::BelowNormal, PriorityClass::High, PriorityClass::Idle})
        EXPECT_GT(count(*m, [&](auto& p) { return p.priority == c; }), 0) << priority_name(c);

    m = open_fresh("nogame11");
    EXPECT_EQ(count(*m, [](auto& p) { return p.image.starts_with("Epic") || p.image.starts_with("EasyAntiCheat"); }), 0);
    m = open_fresh("desktop10");
    EXPECT_EQ(count(*m, [](auto& p) { return p.image.starts_with("Widget"); }), 0);
}

// ---- The system timer ----

TEST_F(SimBoosterWorld, TimerIsTheFinestRequestOfALiveProcess) {
    auto a = open();
    auto b = open();
    Performance& perf = a->performance();
    auto q = perf.query_timer_resolution();
    ASSERT_TRUE(q.has_value());
    EXPECT_EQ((std::tuple{q->maximum, q->minimum, q->current}), (std::tuple{156250u, 5000u, 156250u}));

    EXPECT_EQ(perf.set_timer_resolution(10000, true), 10000u);
    EXPECT_EQ(b->performance().query_timer_resolution()->current, 10000u);
    auto held = b->timer_requests();
    ASSERT_EQ(held.size(), 1u);
    EXPECT_EQ(held[0].pid, uint32_t(::getpid()));
    EXPECT_EQ(held[0].image, program_invocation_short_name);
    EXPECT_TRUE(held[0].alive);
    EXPECT_EQ(perf.set_timer_resolution(1, true), 5000u);  // clamped, and replacing the earlier one
    EXPECT_EQ(a->timer_requests().size(), 1u);

    // A program that ends without releasing leaves its entry, which no longer counts; one that
    // releases leaves none.
    in_child([&] { SimMachine::open(dir_)->performance().set_timer_resolution(5000, true); });
    in_child([&] {
        auto c = SimMachine::open(dir_);
        c->performance().set_timer_resolution(7500, true);
        c->performance().set_timer_resolution(7500, false);
    });
    EXPECT_EQ(perf.set_timer_resolution(10000, true), 10000u);
    auto listed = a->timer_requests();
    ASSERT_EQ(listed.size(), 2u);
    EXPECT_EQ(listed[0].value, 5000u);
    EXPECT_FALSE(listed[0].alive);
    EXPECT_NE(listed[0].pid, uint32_t(::getpid()));
    EXPECT_TRUE(listed[1].alive);
    EXPECT_EQ(perf.set_timer_resolution(10000, false), 156250u);
    EXPECT_EQ(b->performance().query_timer_resolution()->current, 156250u);
    EXPECT_EQ(a->timer_requests().size(), 1u);  // only the ended one
}

TEST_F(SimBoosterWorld, WithoutTheNativeCallsEveryBoosterCallSaysSo) {
    auto a = open();
    auto b = open();
    b->set_booster_available(false);
    Performance& perf = a->performance();
    EXPECT_FALSE(perf.booster_available());
    EXPECT_EQ(perf.query_timer_resolution(), std::nullopt);
    EXPECT_EQ(perf.set_timer_resolution(5000, true), 0u);
    EXPECT_TRUE(a->timer_requests().empty());
    uint64_t standby = a->memory_state().standby_bytes;
    EXPECT_EQ(perf.purge_standby_list(), int32_t(0xC000007Au));
    EXPECT_EQ(a->memory_state().standby_bytes, standby);
}

// ---- Memory ----

TEST_F(SimBoosterWorld, MemoryListsFollowTheMachineAndThePurge) {
    auto small = open_fresh("lowram11")->memory_state();
    auto a = open_fresh("desktop11");
    auto big = a->memory_state();
    EXPECT_GT(small.standby_bytes, 0u);
    EXPECT_LT(small.free_bytes + small.standby_bytes, big.free_bytes + big.standby_bytes);
    EXPECT_LT(big.free_bytes + big.standby_bytes, a->system().total_memory_bytes());

    auto b = open();
    b->set_memory_lists(700 * MiB, 900 * MiB);
    Performance& perf = a->performance();
    auto use = perf.memory_use();
    ASSERT_TRUE(use.has_value());
    EXPECT_EQ(use->total_kib, a->system().total_memory_bytes() / 1024);
    EXPECT_EQ(use->free_kib, 1600 * 1024u);

    b->set_purge_refused(true);
    EXPECT_EQ(perf.purge_standby_list(), int32_t(0xC0000061u));
    EXPECT_EQ(perf.memory_lists()->standby_bytes, 900 * MiB);
    b->set_purge_refused(false);
    EXPECT_EQ(perf.purge_standby_list(), 0);
    auto lists = perf.memory_lists();
    EXPECT_EQ(lists->free_bytes, 1600 * MiB);
    EXPECT_EQ(lists->standby_bytes, 0u);
    EXPECT_EQ(b->memory_state().purges, 1);

    b->set_memory_lists_readable(false);
    EXPECT_EQ(perf.memory_lists(), std::nullopt);
    EXPECT_TRUE(perf.memory_use().has_value());
    b->set_processor_load(37);
    EXPECT_EQ(perf.processor_load(), 37.0);
    b->set_system_counters_readable(false);
    EXPECT_EQ(perf.processor_load(), std::nullopt);
    EXPECT_EQ(perf.memory_use(), std::nullopt);
    EXPECT_THROW(b->set_processor_load(101), PlatformError);
}

// ---- Echo ----

TEST_F(SimBoosterWorld, EchoAnswersOnTheMachinesClock) {
    auto a = open();
    a->freeze_clock();
    Echo& echo = a->echo();
    auto e = echo.send("1.1.1.1", 1000);
    EXPECT_FALSE(e->done());
    EXPECT_THROW(e->round_trip_ms(), PlatformError);
    a->advance_clock(17ms);
    EXPECT_FALSE(e->done());
    a->advance_clock(1ms);
    ASSERT_TRUE(e->done());
    EXPECT_EQ(e->round_trip_ms(), 18.0);

    // A target nobody answers for, or one slower than the timeout, is done at the timeout.
    open()->set_echo_target("10.0.0.7", 1500);
    for (const char* target : {"10.9.9.9", "10.0.0.7"}) {
        auto lost = echo.send(target, 1000);
        a->advance_clock(999ms);
        EXPECT_FALSE(lost->done()) << target;
        a->advance_clock(1ms);
        ASSERT_TRUE(lost->done()) << target;
        EXPECT_EQ(lost->round_trip_ms(), std::nullopt) << target;
    }

    open()->set_network_offline(true);
    auto offline = echo.send("127.0.0.1", 1000);
    a->advance_clock(1000ms);
    ASSERT_TRUE(offline->done());
    EXPECT_EQ(offline->round_trip_ms(), std::nullopt);
}

TEST_F(SimBoosterWorld, EchoLossesAreSpreadEvenly) {
    struct Case {
        int loss;
        const char* pattern;  // six echoes in a row: . answered, x lost
    };
    for (const Case& c : {Case{0, "......"}, Case{25, "...x.."}, Case{50, ".x.x.x"}, Case{100, "xxxxxx"}}) {
        auto m = open_fresh("desktop11");
        m->freeze_clock();
        m->set_echo_target("1.1.1.1", 23, c.loss);
        std::string seen;
        for (int i = 0; i < 6; ++i) {
            auto e = m->echo().send("1.1.1.1", 1000);
            m->advance_clock(1000ms);
            seen += e->round_trip_ms() ? '.' : 'x';
        }
        EXPECT_EQ(seen, c.pattern) << c.loss;
    }
}

// ---- The tray ----

TEST_F(SimBoosterWorld, TrayClicksFromAnotherObjectReachTheHolder) {
    auto core = open();
    auto tool = open();
    std::mutex mu;
    std::vector<std::string> seen;
    std::thread::id delivered_on;
    const TrayIconSpec spec{"Vexlo Tweaks", {"Open Vexlo Tweaks", "Clean memory now", "", "Exit"}};
    EXPECT_THROW(tool->tray_choose("Exit"), PlatformError);  // no icon yet
    ASSERT_TRUE(core->tray().show(spec, [&](const TrayEvent& e) {
        std::lock_guard lk(mu);
        seen.push_back(e.kind == TrayEvent::Kind::DoubleClick ? "double-click" : e.item);
        delivered_on = std::this_thread::get_id();
    }));
    auto got = [&](size_t n) {
        return wait_until([&] {
            std::lock_guard lk(mu);
            return seen.size() >= n;
        });
    };

    auto state = tool->tray_state();
    EXPECT_TRUE(state.shown);
    EXPECT_EQ(state.tooltip, "Vexlo Tweaks");
    EXPECT_EQ(state.menu, spec.menu);
    tool->tray_choose("Clean memory now");
    ASSERT_TRUE(got(1));
    tool->tray_double_click();
    ASSERT_TRUE(got(2));
    // On the holder's own object the click arrives at once, on the caller's thread, named as
    // the menu spells it.
    core->tray_choose("exit");
    {
        std::lock_guard lk(mu);
        EXPECT_EQ(seen, (std::vector<std::string>{"Clean memory now", "double-click", "Exit"}));
        EXPECT_EQ(delivered_on, std::this_thread::get_id());
    }
    for (const char* wrong : {"Quit", "", "Exit "}) EXPECT_THROW(tool->tray_choose(wrong), PlatformError) << wrong;

    EXPECT_TRUE(core->tray().balloon("Vexlo Tweaks", "Game Booster is still running here.", 3000));
    core->tray().remove();
    state = tool->tray_state();
    EXPECT_FALSE(state.shown);
    ASSERT_EQ(state.balloons.size(), 1u);
    EXPECT_EQ(state.balloons[0].timeout_ms, 3000u);
    EXPECT_THROW(tool->tray_choose("Exit"), PlatformError);
    EXPECT_FALSE(core->tray().balloon("Vexlo Tweaks", "gone", 3000));
}

// A handler may remove the icon at once, on the watcher's own thread.
TEST_F(SimBoosterWorld, AHandlerMayRemoveTheIconFromTheWatcher) {
    auto core = open();
    auto tool = open();
    std::atomic<bool> removed{false};
    ASSERT_TRUE(core->tray().show({"Vexlo Tweaks", {"Exit"}}, [&](const TrayEvent&) {
        core->tray().remove();
        removed = true;
    }));
    tool->tray_choose("Exit");
    ASSERT_TRUE(wait_until([&] { return removed.load(); }));
    EXPECT_FALSE(core->tray().shown());
    EXPECT_FALSE(tool->tray_state().shown);
    core.reset();  // joins the watcher, which has left its loop
}

// As `vexlo sim tray choose "Exit"` acts on a running core: from another process.
TEST_F(SimBoosterWorld, ATrayChoiceFromAnotherProcessReachesTheCore) {
    open();
    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    pid_t core = ::fork();
    if (core == 0) {
        auto m = SimMachine::open(dir_);
        std::atomic<bool> exit_chosen{false};
        bool shown = m->tray().show({"Vexlo Tweaks", {"Open Vexlo Tweaks", "", "Exit"}},
                                    [&](const TrayEvent& e) { exit_chosen = e.item == "Exit"; });
        if (::write(ready[1], "x", 1) != 1 || !shown) ::_exit(2);
        bool got = wait_until([&] { return exit_chosen.load(); });
        m->tray().remove();
        ::_exit(got ? 0 : 1);
    }
    char c;
    ASSERT_EQ(::read(ready[0], &c, 1), 1);
    ::close(ready[0]);
    ::close(ready[1]);
    auto tool = open();
    EXPECT_EQ(tool->tray_state().owner_pid, uint32_t(core));
    tool->tray_choose("Exit");
    int status = 0;
    ::waitpid(core, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    EXPECT_FALSE(tool->tray_state().shown);
}

TEST_F(SimBoosterWorld, TheIconOfAProgramThatEndedIsNotShown) {
    in_child([&] { SimMachine::open(dir_)->tray().show({"Vexlo Tweaks", {"Exit"}}, [](const TrayEvent&) {}); });
    auto m = open();
    auto state = m->tray_state();
    EXPECT_FALSE(state.shown);
    EXPECT_EQ(state.menu, std::vector<std::string>{"Exit"});
    EXPECT_THROW(m->tray_choose("Exit"), PlatformError);
}

// ---- Start with Windows ----

TEST_F(SimBoosterWorld, LogonTaskKeepsEverySettingAndItsFaults) {
    auto a = open();
    const LogonTask task{"Vexlo Tweaks Booster", "C:\\Program Files\\Vexlo Tweaks\\VexloTweaks-core.exe", "--tray",
                         "DESKTOP-7K2M9QF\\Player"};
    a->faults().fail_task_register(true);
    EXPECT_THROW(a->tasks().register_logon_task(task), PlatformError);
    EXPECT_FALSE(a->tasks().find("\\", task.name).has_value());
    a->faults().clear();
    a->tasks().register_logon_task(task);

    auto s = open()->logon_task_settings("vexlo tweaks booster");
    ASSERT_TRUE(s.has_value());
    EXPECT_EQ(s->program, task.program);
    EXPECT_EQ(s->user, task.user);
    EXPECT_EQ((std::tuple{s->run_level, s->logon_type, s->time_limit, s->allow_start_on_batteries,
                          s->stop_on_batteries, s->priority}),
              (std::tuple{std::string("Highest"), std::string("Interactive"), std::string("PT0S"), true, false, 5}));

    a->faults().deny_task("\\Vexlo Tweaks Booster");
    EXPECT_THROW(a->tasks().delete_task(task.name), PlatformError);
    EXPECT_TRUE(a->tasks().logon_task(task.name).has_value());
}

// ---- The protected copy ----

TEST_F(SimBoosterWorld, SelfCopyNeedsTheRunningCoreAndRefusesALink) {
    auto m = open();
    SelfCopy& copy = m->self_copy();
    EXPECT_EQ(copy.path(), "C:\\Program Files\\Vexlo Tweaks\\VexloTweaks-core.exe");
    EXPECT_THROW(copy.install(), PlatformError);  // no product installed
    EXPECT_FALSE(m->files().exists("C:\\Program Files\\Vexlo Tweaks"));

    m->place_running_core("core build 2");
    fs::create_directories(dir_ / "elsewhere");
    fs::create_directory_symlink(dir_ / "elsewhere", m->host_path("C:\\Program Files\\Vexlo Tweaks"));
    EXPECT_THROW(copy.install(), PlatformError);
    EXPECT_TRUE(fs::is_empty(dir_ / "elsewhere"));
    fs::remove(m->host_path("C:\\Program Files\\Vexlo Tweaks"));

    copy.install();
    EXPECT_EQ(m->files().read(copy.path()), "core build 2");
    m->place_running_core("core build 3");  // an update of the product
    EXPECT_FALSE(copy.current());
}

}  // namespace
