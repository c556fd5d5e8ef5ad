#pragma once
// The one-second timer of the running application: it answers a second start (the show event
// brings the window forward) and drives what ticks every second, such as the game booster and
// its page. Each step's failure is its own: one failing step never stops the others.
#include <functional>
#include <vector>

#include "app/core/event_loop.h"
#include "platform/instance.h"

namespace vexlo {

class BoostTimer {
public:
    static constexpr int kIntervalMs = 1000;

    // `show_event` may be null (no second start can reach this process); `show_window` brings
    // the window forward.
    BoostTimer(EventLoop& loop, platform::NamedEvent* show_event, std::function<void()> show_window);
    ~BoostTimer();
    BoostTimer(const BoostTimer&) = delete;
    BoostTimer& operator=(const BoostTimer&) = delete;

    // Runs after the show-event step of every tick, in the order added.
    void add_step(std::function<void()> step) { steps_.push_back(std::move(step)); }
    void start();
    void stop();
    bool running() const;
    // One tick now (the timer calls it).
    void tick();

private:
    EventLoop& loop_;
    platform::NamedEvent* show_event_;
    std::function<void()> show_window_;
    std::vector<std::function<void()>> steps_;
    EventLoop::TimerId timer_ = 0;
};

}  // namespace vexlo
