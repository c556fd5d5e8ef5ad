#include "app/core/boost_timer.h"

#include <exception>

namespace vexlo {

namespace {
// A step that fails is skipped for this tick; the next tick tries again.
void guarded(const std::function<void()>& step) {
    try {
        step();
    } catch (const std::exception&) {
        // Nothing to report per second: the step's own work says what it could not do.
    }
}
}  // namespace

BoostTimer::BoostTimer(EventLoop& loop, platform::NamedEvent* show_event, std::function<void()> show_window)
    : loop_(loop), show_event_(show_event), show_window_(std::move(show_window)) {
    timer_ = loop_.add_timer(std::chrono::milliseconds(kIntervalMs), [this] { tick(); });
}

BoostTimer::~BoostTimer() { loop_.remove_timer(timer_); }

void BoostTimer::start() { loop_.start_timer(timer_); }
void BoostTimer::stop() { loop_.stop_timer(timer_); }
bool BoostTimer::running() const { return loop_.timer_running(timer_); }

void BoostTimer::tick() {
    // The event resets itself, so one second start shows the window once.
    guarded([this] {
        if (show_event_ && show_event_->poll() && show_window_) show_window_();
    });
    for (auto& step : steps_) guarded(step);
}

}  // namespace vexlo
