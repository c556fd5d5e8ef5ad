// What the booster, the tray and the live tiles ask of every back end alike: priorities and
// stopping, the system timer, memory figures, echo, the tray icon, the logon task and the
// protected copy of the program. Written against platform/*.h only; a part a back end cannot
// offer here is skipped with its reason (TestPlatform).
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <string>
#include <thread>

#include "platform/platform.h"
#include "tests/conformance/platform_fixture.h"

namespace {

using namespace vexlo::platform;
using namespace std::chrono_literals;
using vexlo::testkit::test_process_id;

class BoosterConformance : public vexlo::testkit::PlatformTest {
protected:
    bool listed(uint32_t pid) {
        auto list = p().processes().list();
        return std::any_of(list.begin(), list.end(), [&](const ProcessInfo& x) { return x.pid == pid; });
    }
    // A process ends a moment after it was told to on a real PC.
    static bool eventually(const std::function<bool()>& done) {
        for (auto deadline = std::chrono::steady_clock::now() + 5s; !done();) {
            if (std::chrono::steady_clock::now() > deadline) return false;
            std::this_thread::sleep_for(20ms);
        }
        return true;
    }
    uint32_t started(const std::function<uint32_t(std::string&)>& start) {
        std::string skip;
        uint32_t pid = start ? start(skip) : 0;
        if (!pid) skip_reason_ = skip.empty() ? "this back end offers no such process to the tests" : skip;
        return pid;
    }
    std::string skip_reason_;
};

TEST_F(BoosterConformance, PriorityIsReadSetAndTheProcessStopped) {
    uint32_t pid = started(made().start_process);
    if (!pid) GTEST_SKIP() << skip_reason_;
    Processes& procs = p().processes();
    EXPECT_EQ(procs.priority(pid), PriorityClass::Normal);
    for (PriorityClass c : {PriorityClass::BelowNormal, PriorityClass::Idle, PriorityClass::High,
                            PriorityClass::AboveNormal, PriorityClass::Normal}) {
        procs.set_priority(pid, c);
        EXPECT_EQ(procs.priority(pid), c) << priority_name(c);
    }
    ASSERT_TRUE(listed(pid));
    procs.terminate(pid);
    EXPECT_TRUE(eventually([&] { return !listed(pid); }));
    EXPECT_EQ(procs.priority(pid), std::nullopt);
    EXPECT_THROW(procs.set_priority(pid, PriorityClass::High), PlatformError);
    EXPECT_THROW(procs.terminate(pid), PlatformError);
}

TEST_F(BoosterConformance, AGuardedProcessIsReadButNeitherChangedNorStopped) {
    uint32_t pid = started(made().start_guarded_process);
    if (!pid) GTEST_SKIP() << skip_reason_;
    Processes& procs = p().processes();
    auto before = procs.priority(pid);
    ASSERT_TRUE(before.has_value());
    EXPECT_THROW(procs.set_priority(pid, PriorityClass::BelowNormal), PlatformError);
    EXPECT_THROW(procs.terminate(pid), PlatformError);
    EXPECT_TRUE(listed(pid));
    EXPECT_EQ(procs.priority(pid), before);
}

TEST_F(BoosterConformance, TimerRequestIsTakenReplacedAndReleased) {
    if (!made().timer_skip_reason.empty()) GTEST_SKIP() << made().timer_skip_reason;
    Performance& perf = p().performance();
    if (!perf.booster_available()) GTEST_SKIP() << "the kernel's timer calls are not available here";
    auto q = perf.query_timer_resolution();
    ASSERT_TRUE(q.has_value());
    EXPECT_LT(q->minimum, q->maximum);
    EXPECT_TRUE(q->minimum <= q->current && q->current <= q->maximum) << q->current;

    // Other programs may hold finer requests: the result is never coarser than asked.
    uint32_t held = perf.set_timer_resolution(10000, true);
    EXPECT_TRUE(q->minimum <= held && held <= 10000) << held;
    EXPECT_EQ(perf.query_timer_resolution()->current, held);
    uint32_t finer = perf.set_timer_resolution(q->minimum, true);
    EXPECT_TRUE(q->minimum <= finer && finer <= held) << finer;
    uint32_t released = perf.set_timer_resolution(q->minimum, false);
    EXPECT_TRUE(finer <= released && released <= q->maximum) << released;
    EXPECT_EQ(perf.query_timer_resolution()->current, released);
}

TEST_F(BoosterConformance, MemoryAndLoadFiguresAreInTheirUnits) {
    Performance& perf = p().performance();
    const uint64_t total = p().system().total_memory_bytes();
    if (auto use = perf.memory_use()) {
        // KiB: a figure in bytes or MiB would be off by a thousand.
        EXPECT_TRUE(use->total_kib * 1024 > total / 2 && use->total_kib * 1024 < total * 2) << use->total_kib;
        EXPECT_LE(use->free_kib, use->total_kib);
    }
    if (auto load = perf.processor_load()) {
        EXPECT_TRUE(*load >= 0 && *load <= 100) << *load;
    }
    if (!perf.booster_available()) return;
    if (auto lists = perf.memory_lists()) {
        EXPECT_LE(lists->free_bytes + lists->standby_bytes, total * 2);
    }
}

TEST_F(BoosterConformance, EchoToLoopbackIsAnsweredWithoutWaiting) {
    if (!made().echo_skip_reason.empty()) GTEST_SKIP() << made().echo_skip_reason;
    auto pending = p().echo().send("127.0.0.1", 1000);
    ASSERT_TRUE(pending);
    ASSERT_TRUE(eventually([&] { return pending->done(); }));
    auto rtt = pending->round_trip_ms();
    ASSERT_TRUE(rtt.has_value());
    EXPECT_TRUE(*rtt >= 0 && *rtt < 1000) << *rtt;
    for (const char* bad : {"", "1.1.1", "1.1.1.1.1", "256.1.1.1", "one.one.one.one"})
        EXPECT_THROW(p().echo().send(bad, 1000), PlatformError) << bad;
}

TEST_F(BoosterConformance, TrayIconShowsBalloonsAndGoesAway) {
    if (!made().tray_skip_reason.empty()) GTEST_SKIP() << made().tray_skip_reason;
    Tray& tray = p().tray();
    EXPECT_FALSE(tray.shown());
    EXPECT_FALSE(tray.balloon("Vexlo Tweaks", "no icon yet", 1000));
    const TrayIconSpec spec{"Vexlo Tweaks conformance", {"Open", "", "Exit"}};
    ASSERT_TRUE(tray.show(spec, [](const TrayEvent&) {}));
    EXPECT_TRUE(tray.shown());
    EXPECT_TRUE(tray.show(spec, [](const TrayEvent&) {}));  // again: visible, nothing new
    EXPECT_TRUE(tray.balloon("Vexlo Tweaks", "A balloon of the conformance suite.", 3000));
    tray.remove();
    EXPECT_FALSE(tray.shown());
    EXPECT_FALSE(tray.balloon("Vexlo Tweaks", "the icon is gone", 1000));
    tray.remove();  // nothing to remove
}

TEST_F(BoosterConformance, LogonTaskRoundTrip) {
    if (!made().can_change_tasks) GTEST_SKIP() << made().tasks_skip_reason;
    TaskScheduler& tasks = p().tasks();
    const std::string name = "Vexlo Conformance " + std::to_string(test_process_id());
    struct Cleanup {
        TaskScheduler& tasks;
        std::string name;
        ~Cleanup() {
            try {
                tasks.delete_task(name);
            } catch (const PlatformError& e) {
                ADD_FAILURE() << "could not delete the task " << name << ": " << e.what();
            }
        }
    } cleanup{tasks, name};

    EXPECT_FALSE(tasks.logon_task(name).has_value());
    tasks.delete_task(name);  // a missing task is not an error
    const std::string user = registry().expand_environment("%USERDOMAIN%\\%USERNAME%");
    LogonTask task{name, registry().expand_environment("%ProgramFiles%") + "\\Vexlo Tweaks\\VexloTweaks-core.exe", "--tray",
                   user};
    tasks.register_logon_task(task);
    auto back = tasks.logon_task(name);
    ASSERT_TRUE(back.has_value());
    EXPECT_EQ(back->program, task.program);
    EXPECT_EQ(back->arguments, "--tray");
    EXPECT_EQ(back->user, user);
    auto found = tasks.find("\\", name);
    ASSERT_TRUE(found.has_value());
    EXPECT_EQ(found->state, "Ready");

    // Registering again replaces it.
    task.arguments = "--tray --again";
    tasks.register_logon_task(task);
    EXPECT_EQ(tasks.logon_task(name)->arguments, "--tray --again");
    auto all = tasks.list();
    EXPECT_EQ(std::count_if(all.begin(), all.end(), [&](auto& t) { return t.folder == "\\" && t.name == name; }), 1);

    tasks.delete_task(name);
    EXPECT_FALSE(tasks.logon_task(name).has_value());
    EXPECT_FALSE(tasks.find("\\", name).has_value());
}

TEST_F(BoosterConformance, SelfCopyIsInstalledCheckedAndRemoved) {
    if (!made().prepare_self_copy) GTEST_SKIP() << "this back end keeps its self copy out of the tests";
    if (std::string why = made().prepare_self_copy(); !why.empty()) GTEST_SKIP() << why;
    SelfCopy& copy = p().self_copy();
    const std::string path = copy.path();
    const std::string folder = path.substr(0, path.rfind('\\'));
    EXPECT_TRUE(path.ends_with("\\Vexlo Tweaks\\VexloTweaks-core.exe")) << path;
    copy.remove();  // a missing copy is not an error
    EXPECT_FALSE(copy.current());

    EXPECT_EQ(copy.install(), path);
    EXPECT_TRUE(files().exists(path));
    EXPECT_TRUE(copy.current());
    files().write(path, "an older build");
    EXPECT_FALSE(copy.current());
    copy.install();
    EXPECT_TRUE(copy.current());

    copy.remove();
    EXPECT_FALSE(files().exists(path));
    EXPECT_FALSE(files().exists(folder));
    EXPECT_FALSE(copy.current());
}

}  // namespace
