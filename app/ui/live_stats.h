#pragma once
// The Home page's LIVE row: ping to 1.1.1.1 with its sparkline, jitter, processor load and
// memory in use, refreshed by the window's own one-second timer. One echo request is in flight
// at a time and the tick only looks whether it has completed, so the application thread never
// waits for the network.
#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <string_view>

#include "app/core/event_loop.h"
#include "app/core/reg.h"
#include "app/ui/ui.h"
#include "platform/echo.h"
#include "platform/performance.h"

namespace vexlo::ui {

// What the ping, jitter and sparkline tiles show for a list of samples (round-trip times in
// milliseconds, oldest first, -1 for a request without a reply).
struct PingTiles {
    std::string ping;        // TilePing
    std::string ping_sub;    // TilePingSub
    std::string jitter;      // TileJitter
    std::string jitter_sub;  // TileJitterSub
    std::string spark;       // SparkLine's path data
};
// `canvas_width` is the sparkline's drawn width in CSS pixels (under 10: not laid out yet).
PingTiles ping_tiles(const std::deque<double>& samples, double canvas_width);

// "7.4 of 16 GB in use" from memory sizes in KiB, with `decimal` as the decimal separator.
std::string memory_in_use_text(uint64_t total_kib, uint64_t free_kib, std::string_view decimal);

class LiveStats {
public:
    static constexpr int kIntervalMs = 1000;
    static constexpr size_t kMaxSamples = 40;
    static constexpr std::string_view kTarget = "1.1.1.1";
    static constexpr uint32_t kEchoTimeoutMs = 1000;

    // The window must have been built (the tiles and the sparkline exist). `settings` gives the
    // user's decimal separator.
    LiveStats(EventLoop& loop, platform::Echo& echo, platform::Performance& performance, Ui& ui, Reg& settings);
    ~LiveStats();
    LiveStats(const LiveStats&) = delete;
    LiveStats& operator=(const LiveStats&) = delete;

    void start();
    void stop();
    bool running() const;
    // One tick now (the timer calls it).
    void tick();

    const std::deque<double>& samples() const { return samples_; }
    long ticks() const { return tick_; }
    // The sparkline's width as the renderer laid it out.
    void set_canvas_width(double width);

private:
    void ping_step();
    void send_echo();
    void system_step();
    void update_ping_tiles();
    bool home_on_screen() const;

    EventLoop& loop_;
    platform::Echo& echo_;
    platform::Performance& performance_;
    Ui& ui_;
    Reg& settings_;
    EventLoop::TimerId timer_ = 0;
    std::unique_ptr<platform::PendingEcho> pending_;
    std::deque<double> samples_;
    long tick_ = 0;
    double canvas_width_ = 0;
};

}  // namespace vexlo::ui
