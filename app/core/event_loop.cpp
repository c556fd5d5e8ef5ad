#include "app/core/event_loop.h"

#include <algorithm>
#include <limits>
#include <vector>

namespace vexlo {

namespace {
// Longest single wait: keeps the condition variable's deadline arithmetic far from overflow
// for timers set very far ahead. Waking once a minute to look again is not spinning.
constexpr int64_t kLongestWaitMs = 60'000;
}  // namespace

EventLoop::EventLoop(platform::Clock& clock) : clock_(clock), owner_(std::this_thread::get_id()) {}

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
    it->second.due_ms = clock_.steady_ms() + it->second.interval.count();
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
    const int64_t now = clock_.steady_ms();
    // Collect first: a tick may add, stop or remove timers.
    std::vector<TimerId> due;
    for (auto& [id, t] : timers_)
        if (t.running && t.due_ms <= now) due.push_back(id);
    for (TimerId id : due) {
        auto it = timers_.find(id);
        if (it == timers_.end() || !it->second.running) continue;
        it->second.due_ms = now + it->second.interval.count();
        Task tick = it->second.tick;  // the tick may remove its own timer
        tick();
    }
}

void EventLoop::wait_for_work(std::unique_lock<std::mutex>& lk) {
    // Timers change only on this thread, so the earliest due time holds for the whole wait.
    int64_t next = std::numeric_limits<int64_t>::max();
    for (auto& [id, t] : timers_)
        if (t.running) next = std::min(next, t.due_ms);
    auto woken = [&] { return !queue_.empty() || quit_; };
    if (next == std::numeric_limits<int64_t>::max()) {
        cv_.wait(lk, woken);
        return;
    }
    // The wait is measured on the platform's clock, not the condition variable's: when the two
    // disagree (a frozen test clock, a wake a little early) the loop waits again for what is
    // left instead of running a batch with nothing due. A frozen clock that nobody moves
    // waits, it does not spin.
    while (!woken()) {
        int64_t left = next - clock_.steady_ms();
        if (left <= 0) return;
        cv_.wait_for(lk, std::chrono::milliseconds(std::min(left, kLongestWaitMs)), woken);
    }
}

bool EventLoop::run_one_batch(bool wait, const std::function<bool()>* done) {
    std::deque<Task> batch;
    {
        std::unique_lock lk(mu_);
        if (wait) wait_for_work(lk);
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
