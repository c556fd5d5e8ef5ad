#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "app/core/event_loop.h"

using namespace vexlo;
using namespace std::chrono_literals;

TEST(EventLoop, TasksFromOtherThreadsRunInOrderOnTheLoopThread) {
    EventLoop loop;
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

TEST(EventLoop, TimersTickRestartAndStop) {
    EventLoop loop;
    int ticks = 0;
    EventLoop::TimerId t = 0;
    t = loop.add_timer(5ms, [&] {
        if (++ticks == 3) {
            loop.stop_timer(t);
            loop.post([&] { loop.quit(); });
        }
    });
    EXPECT_FALSE(loop.timer_running(t));
    loop.start_timer(t);
    loop.run();
    EXPECT_EQ(ticks, 3);
    EXPECT_FALSE(loop.timer_running(t));
}

// A dialog waits in a nested loop while the outer work is suspended; tasks and timers keep
// running inside it, and the outer loop resumes with what was still queued.
TEST(EventLoop, NestedLoopRunsUntilDoneThenOuterWorkContinues) {
    EventLoop loop;
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
    EventLoop loop;
    int n = 0;
    int flushed = 0;
    loop.set_idle_hook([&] { ++flushed; });
    loop.post([&] { ++n; });
    loop.post([&] { ++n; });
    loop.process_pending();
    EXPECT_EQ(n, 2);
    EXPECT_GE(flushed, 1);
    loop.process_pending();  // nothing queued: returns at once
    EXPECT_EQ(n, 2);
}
