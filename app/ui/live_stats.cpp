#include "app/ui/live_stats.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <exception>
#include <vector>

namespace vexlo::ui {

namespace {

constexpr double kSparkHeight = 28;
constexpr double kSparkMinScale = 20;  // ms: a quiet line stays low instead of filling the tile
constexpr double kSparkFallbackWidth = 200;
constexpr std::string_view kInternational = "HKCU:\\Control Panel\\International";

// Fixed decimals with a point, whatever the process's locale says.
std::string fixed(double v, int decimals) {
    char buf[64];
    auto r = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::fixed, decimals);
    return r.ec == std::errc() ? std::string(buf, r.ptr) : std::string("0");
}

// Halves go to the even neighbour, as the tiles have always rounded.
long whole(double v) { return std::lrint(v); }

// Path coordinates: two decimals at most, no trailing zeros ("5.13", "26", "-0" never).
std::string coord(double v) {
    std::string s = fixed(v, 2);
    if (s.find('.') != std::string::npos) {
        while (s.back() == '0') s.pop_back();
        if (s.back() == '.') s.pop_back();
    }
    return s == "-0" ? "0" : s;
}

}  // namespace

PingTiles ping_tiles(const std::deque<double>& samples, double canvas_width) {
    PingTiles out;
    std::vector<double> ok;
    for (double s : samples)
        if (s >= 0) ok.push_back(s);
    const size_t n = samples.size();

    if (n > 0) out.ping = samples.back() < 0 ? "lost" : std::to_string(whole(samples.back())) + " ms";

    long loss = n == 0 ? 0 : whole(100.0 * double(n - ok.size()) / double(n));
    double sum = 0;
    for (double s : ok) sum += s;
    long avg = ok.empty() ? 0 : whole(sum / double(ok.size()));
    out.ping_sub = "avg " + std::to_string(avg) + " ms  \u00B7  " + std::to_string(loss) + "% loss";

    // Lost samples are skipped, not counted as gaps.
    double jitter = 0;
    if (ok.size() >= 2) {
        double diffs = 0;
        for (size_t i = 1; i < ok.size(); ++i) diffs += std::fabs(ok[i] - ok[i - 1]);
        jitter = diffs / double(ok.size() - 1);
    }
    out.jitter = fixed(jitter, 1) + " ms";
    out.jitter_sub = ok.size() < 5 ? "measuring"
                     : jitter < 2  ? "rock solid"
                     : jitter < 6  ? "okay"
                                   : "unstable: check Wi-Fi or cable";

    // The line grows from the left; 40 samples span the whole width. A loss draws at the top.
    const double w = canvas_width < 10 ? kSparkFallbackWidth : canvas_width;
    const double h = kSparkHeight;
    double max = kSparkMinScale;
    for (double s : ok) max = std::max(max, s);
    for (size_t i = 0; i < n; ++i) {
        double v = samples[i] < 0 ? max : samples[i];
        double x = n > 1 ? w * double(i) / double(LiveStats::kMaxSamples - 1) : 0;
        double y = h - 2 - (h - 4) * v / max;
        out.spark += (i == 0 ? "M" : " L") + coord(x) + " " + coord(y);
    }
    return out;
}

std::string memory_in_use_text(uint64_t total_kib, uint64_t free_kib, std::string_view decimal) {
    constexpr double kKibPerGib = 1024.0 * 1024.0;
    const double total = double(total_kib) / kKibPerGib;
    const double used = double(total_kib - std::min(free_kib, total_kib)) / kKibPerGib;
    std::string used_text = fixed(used, 1);
    if (auto dot = used_text.find('.'); dot != std::string::npos) used_text.replace(dot, 1, decimal);
    return used_text + " of " + fixed(total, 0) + " GB in use";
}

LiveStats::LiveStats(EventLoop& loop, platform::Echo& echo, platform::Performance& performance, Ui& ui, Reg& settings)
    : loop_(loop), echo_(echo), performance_(performance), ui_(ui), settings_(settings) {
    timer_ = loop_.add_timer(std::chrono::milliseconds(kIntervalMs), [this] { tick(); });
    // The renderer tells the sparkline's laid-out width, and again when it changes.
    if (Element* canvas = ui_.find("SparkCanvas")) {
        canvas->set("report_size", true);
        canvas->on("size", [this](Element&, const Json& v) {
            if (v.is_number()) set_canvas_width(v.get<double>());
        });
    }
}

LiveStats::~LiveStats() { loop_.remove_timer(timer_); }

void LiveStats::start() { loop_.start_timer(timer_); }
void LiveStats::stop() { loop_.stop_timer(timer_); }
bool LiveStats::running() const { return loop_.timer_running(timer_); }

void LiveStats::set_canvas_width(double width) {
    if (width == canvas_width_) return;
    canvas_width_ = width;
    if (!samples_.empty()) update_ping_tiles();
}

void LiveStats::tick() {
    ++tick_;
    ping_step();
    if (tick_ % 3 == 1 && home_on_screen()) system_step();
}

void LiveStats::send_echo() {
    try {
        pending_ = echo_.send(kTarget, kEchoTimeoutMs);
    } catch (const std::exception&) {
        // No network stack to send with: the next tick tries again, and the tiles keep their
        // texts. Not logged: it would repeat every second.
        pending_.reset();
    }
}

void LiveStats::ping_step() {
    if (!pending_) {
        send_echo();
        return;
    }
    bool done = false;
    try {
        done = pending_->done();
    } catch (const std::exception&) {
        done = true;  // a request that cannot be looked at counts as one without a reply
    }
    if (!done) return;
    double sample = -1;
    try {
        if (auto rtt = pending_->round_trip_ms()) sample = *rtt;
    } catch (const std::exception&) {
        sample = -1;  // the result could not be read
    }
    samples_.push_back(sample);
    while (samples_.size() > kMaxSamples) samples_.pop_front();
    send_echo();
    update_ping_tiles();
}

void LiveStats::update_ping_tiles() {
    PingTiles t = ping_tiles(samples_, canvas_width_);
    if (Element* e = ui_.find("TilePing")) e->set_text(t.ping);
    if (Element* e = ui_.find("TilePingSub")) e->set_text(t.ping_sub);
    if (Element* e = ui_.find("TileJitter")) e->set_text(t.jitter);
    if (Element* e = ui_.find("TileJitterSub")) e->set_text(t.jitter_sub);
    if (Element* e = ui_.find("SparkLine")) e->set("d", t.spark);
}

bool LiveStats::home_on_screen() const {
    if (!ui_.window_visible()) return false;
    Element* home = ui_.find("Page_Home");
    return home && home->visible();
}

void LiveStats::system_step() {
    // A failing query ends the step for this tick and leaves the tiles as they were.
    try {
        if (auto load = performance_.processor_load())
            if (Element* e = ui_.find("TileCpu")) e->set_text(std::to_string(whole(*load)) + "%");
        auto mem = performance_.memory_use();
        if (!mem || mem->total_kib == 0) return;
        const double used = double(mem->total_kib - std::min(mem->free_kib, mem->total_kib));
        if (Element* e = ui_.find("TileRam"))
            e->set_text(std::to_string(whole(100.0 * used / double(mem->total_kib))) + "%");
        std::string decimal = ".";
        auto sep = settings_.get_raw(kInternational, "sDecimal");
        if (sep && sep->kind == platform::RegKind::String && !sep->text.empty() && sep->text.size() <= 3)
            decimal = sep->text;
        if (Element* e = ui_.find("TileRamSub")) e->set_text(memory_in_use_text(mem->total_kib, mem->free_kib, decimal));
    } catch (const std::exception&) {
        // Nothing is reported: the tiles keep their last figures and the next turn tries again.
    }
}

}  // namespace vexlo::ui
