#include "app/core/event_loop.h"

#include <vector>

namespace vexlo {

EventLoop::EventLoop() : owner_(std::this_thread::get_id()) {}

void EventLoop::post(Task task) {
    {
        std::lock_guard lk(mu_);
        queue_.push_back(std::move(task));
    }
    cv_.notify_one();
}

EventLoop::TimerId EventLoop::add_timer(std::chrono::milliseconds interval, Task tick) {
    TimerId id = next_timer_++;
    timers_[id] = Timer{interval, std::move(tick), false, {}};
    return id;
}

void EventLoop::start_timer(TimerId id) {
    auto it = timers_.find(id);
    if (it == timers_.end()) return;
    it->second.running = true;
    it->second.due = Clock::now() + it->second.interval;
}

void EventLoop::stop_timer(TimerId id) {
    auto it = timers_.find(id);
    if (it != timers_.end()) it->second.running = false;
}

bool EventLoop::timer_running(TimerId id) const {
    auto it = timers_.find(id);
    return it != timers_.end() && it->second.running;
}

void EventLoop::remove_timer(TimerId id) { timers_.erase(id); }

void EventLoop::quit() {
    {
        std::lock_guard lk(mu_);
        quit_ = true;
    }
    cv_.notify_all();
}

void EventLoop::run_due_timers() {
    auto now = Clock::now();
    // Collect first: a tick may add, stop or remove timers.
    std::vector<TimerId> due;
    for (auto& [id, t] : timers_)
        if (t.running && t.due <= now) due.push_back(id);
    for (TimerId id : due) {
        auto it = timers_.find(id);
        if (it == timers_.end() || !it->second.running) continue;
        it->second.due = now + it->second.interval;
        Task tick = it->second.tick;  // the tick may remove its own timer
        tick();
    }
}

bool EventLoop::run_one_batch(bool wait, const std::function<bool()>* done) {
    std::deque<Task> batch;
    {
        std::unique_lock lk(mu_);
        if (wait && queue_.empty() && !quit_) {
            Clock::time_point next = Clock::time_point::max();
            for (auto& [id, t] : timers_)
                if (t.running && t.due < next) next = t.due;
            if (next == Clock::time_point::max())
                cv_.wait(lk, [&] { return !queue_.empty() || quit_; });
            else
                cv_.wait_until(lk, next, [&] { return !queue_.empty() || quit_; });
        }
        batch.swap(queue_);
    }
    for (size_t i = 0; i < batch.size(); ++i) {
        batch[i]();
        if (quit_ || (done && (*done)())) {
            // Hand back what this batch did not reach, in order.
            std::lock_guard lk(mu_);
            queue_.insert(queue_.begin(), std::make_move_iterator(batch.begin() + long(i) + 1),
                          std::make_move_iterator(batch.end()));
            if (idle_hook_) idle_hook_();
            return false;
        }
    }
    run_due_timers();
    if (idle_hook_) idle_hook_();
    return !(quit_ || (done && (*done)()));
}

void EventLoop::run() {
    while (run_one_batch(true, nullptr)) {
    }
}

void EventLoop::run_nested(const std::function<bool()>& done) {
    if (done()) return;
    while (run_one_batch(true, &done)) {
    }
}

void EventLoop::process_pending() { run_one_batch(false, nullptr); }

}  // namespace vexlo
