// The application thread's dispatcher: posted tasks from any thread, timers on the platform's
// clock (moved by hand here, so no test sleeps), nested loops for dialogs.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "app/core/event_loop.h"
#include "platform/sim/sim_desktop.h"

using namespace vexlo;
using namespace std::chrono_literals;

namespace {

// A loop on a frozen simulated clock: time moves only when the test says.
struct FrozenLoop {
    FrozenLoop() { clock.freeze(); }
    // Lets `step` pass and runs what that made due.
    void after(std::chrono::milliseconds step) {
        clock.advance(step);
        loop.process_pending();
    }
    sim::SimClock clock;
    EventLoop loop{clock};
};

}  // namespace

TEST(EventLoop, TasksFromOtherThreadsRunInOrderOnTheLoopThread) {
    sim::SimClock clock;
    EventLoop loop(clock);
    std::vector<int> seen;
    std::thread::id ran_on;
    std::thread poster([&] {
        for (int i = 0; i < 100; ++i) loop.post([&, i] { seen.push_back(i); ran_on = std::this_thread::get_id(); });
        loop.post([&] { loop.quit(); });
    });
    loop.run();
    poster.join();
    ASSERT_EQ(seen.size(), 100u);
    for (int i = 0; i < 100; ++i) EXPECT_EQ(seen[i], i);
    EXPECT_EQ(ran_on, std::this_thread::get_id());
}

TEST(EventLoop, TimersTickWhenTheClockReachesThemRestartAndStop) {
    FrozenLoop f;
    int ticks = 0;
    EventLoop::TimerId t = 0;
    t = f.loop.add_timer(5ms, [&] {
        if (++ticks == 3) f.loop.stop_timer(t);
    });
    EXPECT_FALSE(f.loop.timer_running(t));
    f.after(10ms);
    EXPECT_EQ(ticks, 0) << "a timer never started never ticks";

    f.loop.start_timer(t);
    EXPECT_TRUE(f.loop.timer_running(t));
    f.after(4ms);
    EXPECT_EQ(ticks, 0) << "4 ms of a 5 ms interval";
    f.after(1ms);
    EXPECT_EQ(ticks, 1);
    f.loop.process_pending();
    EXPECT_EQ(ticks, 1) << "one tick per interval, not per batch";

    // Restarting puts the next tick a full interval away from now.
    f.clock.advance(3ms);
    f.loop.start_timer(t);
    f.after(3ms);
    EXPECT_EQ(ticks, 1);
    f.after(2ms);
    EXPECT_EQ(ticks, 2);

    f.after(5ms);
    EXPECT_EQ(ticks, 3);
    EXPECT_FALSE(f.loop.timer_running(t)) << "the third tick stopped its own timer";
    f.after(50ms);
    EXPECT_EQ(ticks, 3);
}

// However far the clock jumps, a timer ticks once and its next tick is an interval after the
// jump: a long stall does not replay the ticks it missed.
TEST(EventLoop, ALongJumpGivesOneTickNotABacklog) {
    FrozenLoop f;
    int ticks = 0;
    auto t = f.loop.add_timer(1000ms, [&] { ++ticks; });
    f.loop.start_timer(t);
    f.after(10'000ms);
    EXPECT_EQ(ticks, 1);
    f.after(999ms);
    EXPECT_EQ(ticks, 1);
    f.after(1ms);
    EXPECT_EQ(ticks, 2);
}

// A task that moves the clock is followed, in the same batch, by the timers it made due: the
// waiting loop needs no real time to pass.
TEST(EventLoop, RunningLoopTicksAsSoonAsTheClockIsMoved) {
    FrozenLoop f;
    std::vector<std::string> order;
    auto t = f.loop.add_timer(2800ms, [&] {
        order.push_back("tick");
        f.loop.quit();
    });
    f.loop.start_timer(t);
    f.loop.post([&] {
        order.push_back("move");
        f.clock.advance(2800ms);
    });
    f.loop.run();
    EXPECT_EQ(order, (std::vector<std::string>{"move", "tick"}));
}

// The real clock moves by itself: the loop must wake from its wait for the timer, with no task
// to wake it.
TEST(EventLoop, WaitingLoopWakesForATimerAsRealTimePasses) {
    sim::SimClock clock;
    EventLoop loop(clock);
    int ticks = 0;
    EventLoop::TimerId t = 0;
    t = loop.add_timer(5ms, [&] {
        if (++ticks == 3) {
            loop.stop_timer(t);
            loop.post([&] { loop.quit(); });
        }
    });
    loop.start_timer(t);
    loop.run();
    EXPECT_EQ(ticks, 3);
    EXPECT_FALSE(loop.timer_running(t));
}

// A dialog waits in a nested loop while the outer work is suspended; tasks and timers keep
// running inside it, and the outer loop resumes with what was still queued.
TEST(EventLoop, NestedLoopRunsUntilDoneThenOuterWorkContinues) {
    FrozenLoop f;
    EventLoop& loop = f.loop;
    std::vector<std::string> order;
    bool answered = false;
    int ticks = 0;
    auto timer = loop.add_timer(2ms, [&] { ++ticks; });
    loop.start_timer(timer);
    loop.post([&] {
        order.push_back("dialog opens");
        loop.post([&] {
            order.push_back("click");
            answered = true;
        });
        loop.post([&] { order.push_back("after click"); });
        loop.post([&] { f.clock.advance(2ms); });
        loop.run_nested([&] { return answered && ticks > 0; });
        order.push_back("dialog returns");
    });
    loop.post([&] {
        order.push_back("next outer task");
        loop.quit();
    });
    loop.run();
    EXPECT_GE(ticks, 1);
    ASSERT_GE(order.size(), 4u);
    EXPECT_EQ(order[0], "dialog opens");
    EXPECT_EQ(order[1], "click");
    // Nothing posted before the answer is lost, and the outer queue keeps its order.
    EXPECT_NE(std::find(order.begin(), order.end(), "after click"), order.end());
    EXPECT_LT(std::find(order.begin(), order.end(), "dialog returns") - order.begin(),
              std::find(order.begin(), order.end(), "next outer task") - order.begin());
}

TEST(EventLoop, ProcessPendingRunsQueuedWorkWithoutWaiting) {
    FrozenLoop f;
    EventLoop& loop = f.loop;
    int n = 0;
    int flushed = 0;
    auto t = loop.add_timer(1000ms, [] {});
    loop.start_timer(t);  // a timer far from due must not make it wait
    loop.set_idle_hook([&] { ++flushed; });
    loop.post([&] { ++n; });
    loop.post([&] { ++n; });
    loop.process_pending();
    EXPECT_EQ(n, 2);
    EXPECT_GE(flushed, 1);
    loop.process_pending();  // nothing queued: returns at once
    EXPECT_EQ(n, 2);
}
