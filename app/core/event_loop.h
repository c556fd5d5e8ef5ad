#pragma once
// The application thread's dispatcher: posted tasks, repeating timers and nested loops.
// Everything of the application runs on the thread that calls run(); post() is the only
// member that other threads may call. Timers keep the platform's time, so a test that moves
// the simulated clock sees them come due without sleeping.
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <thread>

#include "platform/clock.h"

namespace vexlo {

class EventLoop {
public:
    using Task = std::function<void()>;
    using TimerId = uint64_t;

    // `clock` gives the timers' due times; it must outlive the loop.
    explicit EventLoop(platform::Clock& clock);

    // Thread safe: queues a task for the application thread and wakes it.
    void post(Task task);

    // Timers tick on the application thread while a loop runs; stopped timers keep their id.
    TimerId add_timer(std::chrono::milliseconds interval, Task tick);
    void start_timer(TimerId id);  // (re)starts: the next tick is a full interval away
    void stop_timer(TimerId id);
    bool timer_running(TimerId id) const;
    void remove_timer(TimerId id);

    // Runs until quit() is called.
    void run();
    void quit();
    bool quitting() const { return quit_; }

    // Runs a nested loop until `done()` is true (checked after every task and tick) or quit().
    void run_nested(const std::function<bool()>& done);

    // Runs every task that is already queued and every timer that is due, without waiting:
    // long work on the application thread calls it to keep the window alive.
    void process_pending();

    // Called after every batch of work, before the loop waits: the UI flushes its changes here.
    void set_idle_hook(Task hook) { idle_hook_ = std::move(hook); }

    bool on_loop_thread() const { return std::this_thread::get_id() == owner_; }

private:
    struct Timer {
        std::chrono::milliseconds interval;
        Task tick;
        bool running = false;
        int64_t due_ms = 0;  // on clock_'s steady_ms() scale
    };

    bool run_one_batch(bool wait, const std::function<bool()>* done);
    // Blocks (mu_ held through `lk`) until a task is queued, quit() is called or a timer is due.
    void wait_for_work(std::unique_lock<std::mutex>& lk);
    void run_due_timers();

    platform::Clock& clock_;
    mutable std::mutex mu_;
    std::condition_variable cv_;
    std::deque<Task> queue_;
    std::map<TimerId, Timer> timers_;
    TimerId next_timer_ = 1;
    bool quit_ = false;
    Task idle_hook_;
    std::thread::id owner_;
};

}  // namespace vexlo
