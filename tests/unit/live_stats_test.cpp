// The LIVE tiles on Home: one echo in flight, 40 samples, the tile texts, the jitter rule, the
// sparkline's geometry, and processor and memory every third tick while Home is on screen.
#include <gtest/gtest.h>

#include <deque>
#include <optional>
#include <string>
#include <vector>

#include "app/core/activity_log.h"
#include "app/core/event_loop.h"
#include "app/ui/live_stats.h"
#include "app/ui/main_window.h"
#include "app/ui/ui.h"
#include "platform/error.h"
#include "test_machine.h"

using namespace vexlo;
using namespace std::chrono_literals;

namespace {

// Echo requests whose replies the test decides: each request stays pending until the test
// answers it with a time, a loss, or a result that cannot be read.
struct ScriptedEcho final : platform::Echo {
    struct Request final : platform::PendingEcho {
        bool finished = false;
        bool unreadable = false;
        std::optional<double> rtt;
        bool done() override { return finished; }
        std::optional<double> round_trip_ms() override {
            if (!finished) throw platform::PlatformError("asked before the reply");
            if (unreadable) throw platform::PlatformError("the reply could not be read");
            return rtt;
        }
    };
    std::vector<std::string> targets;
    std::vector<uint32_t> timeouts;
    Request* last = nullptr;
    bool refuse = false;

    std::unique_ptr<platform::PendingEcho> send(std::string_view ipv4, uint32_t timeout_ms) override {
        if (refuse) throw platform::PlatformError("no network");
        targets.emplace_back(ipv4);
        timeouts.push_back(timeout_ms);
        auto r = std::make_unique<Request>();
        last = r.get();
        return r;
    }
    void reply(std::optional<double> ms) {
        last->finished = true;
        last->rtt = ms;
    }
};

struct CountingPerformance final : platform::Performance {
    int queries = 0;
    std::optional<double> load = 37.5;
    std::optional<platform::MemoryUse> memory = platform::MemoryUse{16ull * 1024 * 1024, 8600ull * 1024 * 1024 / 1000};
    bool fail = false;

    bool booster_available() override { return true; }
    uint32_t set_timer_resolution(uint32_t, bool) override { return 0; }
    std::optional<platform::TimerResolution> query_timer_resolution() override { return std::nullopt; }
    int32_t purge_standby_list() override { return 0; }
    std::optional<platform::MemoryLists> memory_lists() override { return std::nullopt; }
    std::optional<double> processor_load() override {
        ++queries;
        if (fail) throw platform::PlatformError("the management service is not running");
        return load;
    }
    std::optional<platform::MemoryUse> memory_use() override { return memory; }
};

struct LiveTiles : ::testing::Test {
    testkit::TempMachine pc;
    EventLoop loop{pc->clock()};
    ActivityLog log{pc->files(), pc->clock(), "C:\\Users\\Player\\AppData\\Local\\VexloTweaks\\vexlo.log"};
    ui::Ui ui{loop, log, pc->shell()};
    Reg settings{pc->registry()};
    ScriptedEcho echo;
    CountingPerformance perf;
    std::unique_ptr<ui::LiveStats> live;

    void SetUp() override {
        pc->freeze_clock();
        ui::build_main_window(ui.tree(), "/logo.svg", "test");
        ui.set_window_visible(true);
        live = std::make_unique<ui::LiveStats>(loop, echo, perf, ui, settings);
    }
    std::string text(const char* name) { return ui(name).text(); }
    std::string spark() {
        const Json& d = ui("SparkLine").get("d");
        return d.is_string() ? d.get<std::string>() : "";
    }
    // One tick that finds the request in flight answered with `ms` (nullopt: lost).
    void sample(std::optional<double> ms) {
        echo.reply(ms);
        live->tick();
    }
};

// The points of the sparkline's path ("M x y L x y ...").
std::vector<std::pair<double, double>> points(const std::string& d) {
    std::vector<std::pair<double, double>> out;
    std::string word;
    std::vector<double> nums;
    for (size_t i = 0; i <= d.size(); ++i) {
        char c = i < d.size() ? d[i] : ' ';
        if (c == 'M' || c == 'L' || c == ' ') {
            if (!word.empty()) nums.push_back(std::stod(word));
            word.clear();
        } else {
            word += c;
        }
    }
    for (size_t i = 0; i + 1 < nums.size(); i += 2) out.emplace_back(nums[i], nums[i + 1]);
    return out;
}

}  // namespace

TEST_F(LiveTiles, FirstTickSendsOneEchoAndTheTilesKeepTheirTexts) {
    live->tick();
    EXPECT_EQ(echo.targets, std::vector<std::string>{"1.1.1.1"});
    EXPECT_EQ(echo.timeouts, std::vector<uint32_t>{1000});
    EXPECT_EQ(text("TilePing"), "--");
    EXPECT_EQ(text("TilePingSub"), "measuring");
    EXPECT_EQ(text("TileJitter"), "--");
    EXPECT_EQ(text("TileJitterSub"), "ping variation");
    // Still pending: nothing is sent beside it and no sample is made up.
    live->tick();
    live->tick();
    EXPECT_EQ(echo.targets.size(), 1u);
    EXPECT_TRUE(live->samples().empty());
    EXPECT_EQ(text("TilePing"), "--");
}

TEST_F(LiveTiles, OneReplyOf23Ms) {
    live->tick();
    sample(23);
    EXPECT_EQ(live->samples(), std::deque<double>{23});
    EXPECT_EQ(echo.targets.size(), 2u) << "the next echo goes out with the sample";
    EXPECT_EQ(text("TilePing"), "23 ms");
    EXPECT_EQ(text("TilePingSub"), "avg 23 ms  \u00B7  0% loss");
    EXPECT_EQ(text("TileJitter"), "0.0 ms");
    EXPECT_EQ(text("TileJitterSub"), "measuring");
}

TEST_F(LiveTiles, LostAndUnreadableRepliesAreSamplesOfMinusOne) {
    live->tick();
    sample(10);
    sample(std::nullopt);
    echo.last->finished = true;
    echo.last->unreadable = true;
    live->tick();
    EXPECT_EQ(live->samples(), (std::deque<double>{10, -1, -1}));
    EXPECT_EQ(text("TilePing"), "lost");
    EXPECT_EQ(text("TilePingSub"), "avg 10 ms  \u00B7  67% loss");

    // No network to send with: no request in flight, and the next tick tries again.
    echo.reply(12);
    echo.refuse = true;
    live->tick();
    EXPECT_EQ(live->samples().back(), 12);
    live->tick();
    EXPECT_EQ(live->samples().size(), 4u);
    echo.refuse = false;
    live->tick();
    EXPECT_EQ(echo.targets.size(), 5u);
}

TEST(PingTiles, TextsFollowTheSamples) {
    struct Case {
        std::deque<double> samples;
        const char* ping;
        const char* sub;
        const char* jitter;
        const char* jitter_sub;
    };
    const Case cases[] = {
        // The lost one is skipped, not counted as a gap.
        {{10, -1, 14}, "14 ms", "avg 12 ms  \u00B7  33% loss", "4.0 ms", "measuring"},
        // A loss as the newest: "lost", while the average still comes from the replies.
        {{10, 14, -1}, "lost", "avg 12 ms  \u00B7  33% loss", "4.0 ms", "measuring"},
        // Halves go to the even neighbour: 22.5 -> 22, 23.5 -> 24, 12.5 % -> 12 %.
        {{22, 23}, "23 ms", "avg 22 ms  \u00B7  0% loss", "1.0 ms", "measuring"},
        {{23, 24, 22.5}, "22 ms", "avg 23 ms  \u00B7  0% loss", "1.2 ms", "measuring"},
        {{23, 24, -1, -1, -1, -1, -1, -1}, "lost", "avg 24 ms  \u00B7  75% loss", "1.0 ms", "measuring"},
        {{20, -1, -1, -1, -1, -1, -1, 20}, "20 ms", "avg 20 ms  \u00B7  75% loss", "0.0 ms", "measuring"},
        {{20, 21, 20, 21, 20, 21, 20, -1}, "lost", "avg 20 ms  \u00B7  12% loss", "1.0 ms", "rock solid"},
        {{-1, -1, -1}, "lost", "avg 0 ms  \u00B7  100% loss", "0.0 ms", "measuring"},
        // The jitter line from five replies on.
        {{20, 21.9, 20, 21.9, 20}, "20 ms", "avg 21 ms  \u00B7  0% loss", "1.9 ms", "rock solid"},
        {{20, 22, 20, 22, 20}, "20 ms", "avg 21 ms  \u00B7  0% loss", "2.0 ms", "okay"},
        {{20, 25.9, 20, 25.9, 20}, "20 ms", "avg 22 ms  \u00B7  0% loss", "5.9 ms", "okay"},
        {{20, 26, 20, 26, 20}, "20 ms", "avg 22 ms  \u00B7  0% loss", "6.0 ms", "unstable: check Wi-Fi or cable"},
        {{20, 26, 20, 26, -1}, "lost", "avg 23 ms  \u00B7  20% loss", "6.0 ms", "measuring"},
        // One decimal exactly, as "%.1f" rounds: 1.25 and 0.25 (exact in binary) to the even
        // neighbour, 1/3 to "0.3".
        {{10, 10.25}, "10 ms", "avg 10 ms  \u00B7  0% loss", "0.2 ms", "measuring"},
        {{10, 10.3333333333}, "10 ms", "avg 10 ms  \u00B7  0% loss", "0.3 ms", "measuring"},
    };
    for (const Case& c : cases) {
        std::string trace;
        for (double s : c.samples) trace += std::to_string(s) + " ";
        SCOPED_TRACE(trace);
        ui::PingTiles t = ui::ping_tiles(c.samples, 262);
        EXPECT_EQ(t.ping, c.ping);
        EXPECT_EQ(t.ping_sub, c.sub);
        EXPECT_EQ(t.jitter, c.jitter);
        EXPECT_EQ(t.jitter_sub, c.jitter_sub);
    }
}

TEST(PingTiles, SparklineGeometry) {
    // Under 20 ms the scale stays 20: 0 ms lies at 26, 20 ms (and a loss) at the top, 2.
    auto p = points(ui::ping_tiles({0, 10, -1, 20}, 390).spark);
    ASSERT_EQ(p.size(), 4u);
    EXPECT_EQ(p[0], (std::pair<double, double>{0, 26}));
    EXPECT_EQ(p[1], (std::pair<double, double>{10, 14}));
    EXPECT_EQ(p[2], (std::pair<double, double>{20, 2}));
    EXPECT_EQ(p[3], (std::pair<double, double>{30, 2}));
    // Above it the largest reply sets the scale.
    p = points(ui::ping_tiles({40, 10}, 390).spark);
    EXPECT_EQ(p[0].second, 2);
    EXPECT_EQ(p[1].second, 20);
    // One sample sits at the left edge; a canvas not laid out yet counts as 200 wide.
    EXPECT_EQ(points(ui::ping_tiles({10}, 390).spark), (std::vector<std::pair<double, double>>{{0, 14}}));
    p = points(ui::ping_tiles({10, 10}, 9).spark);
    EXPECT_NEAR(p[1].first, 200.0 / 39, 0.006);
}

TEST_F(LiveTiles, The41stSamplePushesOutTheFirstAndTheLineSpansTheWidth) {
    // The renderer tells the canvas's laid-out width.
    ui("SparkCanvas").fire("size", 262);
    EXPECT_EQ(ui("SparkCanvas").get("report_size"), true);
    live->tick();
    for (int i = 1; i <= 39; ++i) sample(i);
    auto p = points(spark());
    ASSERT_EQ(p.size(), 39u);
    EXPECT_NEAR(p.back().first, 262.0 * 38 / 39, 0.006) << "fewer than 40 samples cover the left part only";
    sample(40);
    p = points(spark());
    ASSERT_EQ(p.size(), 40u);
    EXPECT_EQ(p.back().first, 262);
    sample(41);
    EXPECT_EQ(live->samples().size(), 40u);
    EXPECT_EQ(live->samples().front(), 2);
    EXPECT_EQ(live->samples().back(), 41);
    p = points(spark());
    ASSERT_EQ(p.size(), 40u);
    EXPECT_EQ(p.front().first, 0);
    EXPECT_NEAR(p.front().second, 28 - 2 - 24 * 2.0 / 41, 0.006);
    EXPECT_EQ(p.back(), (std::pair<double, double>{262, 2}));
    EXPECT_EQ(text("TilePingSub"), "avg 22 ms  \u00B7  0% loss");  // 2..41: 21.5 -> 22

    // A new width redraws the line at once.
    ui("SparkCanvas").fire("size", 300);
    EXPECT_EQ(points(spark()).back().first, 300);
}

TEST_F(LiveTiles, ProcessorAndMemoryEveryThirdTickWhileHomeIsOnScreen) {
    for (int i = 0; i < 7; ++i) live->tick();  // ticks 1, 4 and 7 ask
    EXPECT_EQ(perf.queries, 3);
    EXPECT_EQ(text("TileCpu"), "38%");  // 37.5 -> 38, to the even neighbour
    EXPECT_EQ(text("TileRam"), "46%");  // 7.4 of 16 GiB in use
    EXPECT_EQ(text("TileRamSub"), "7.4 of 16 GB in use");

    // Another page on screen, or the window away: nothing is asked.
    ui("Page_Home").set_visible(false);
    for (int i = 0; i < 6; ++i) live->tick();
    EXPECT_EQ(perf.queries, 3);
    ui("Page_Home").set_visible(true);
    ui.set_window_visible(false);
    for (int i = 0; i < 6; ++i) live->tick();
    EXPECT_EQ(perf.queries, 3);
    ui.set_window_visible(true);

    // The user's decimal mark; a failing query leaves both tiles as they were.
    settings.set("HKCU:\\Control Panel\\International", "sDecimal", Json(","), platform::RegKind::String);
    perf.load = std::nullopt;
    perf.memory = platform::MemoryUse{8ull * 1024 * 1024, 2ull * 1024 * 1024};
    while (live->ticks() % 3 != 0) live->tick();
    live->tick();
    EXPECT_EQ(text("TileCpu"), "38%") << "no value: the tile keeps its figure";
    EXPECT_EQ(text("TileRam"), "75%");
    EXPECT_EQ(text("TileRamSub"), "6,0 of 8 GB in use");
    perf.fail = true;
    perf.memory = platform::MemoryUse{8ull * 1024 * 1024, 6ull * 1024 * 1024};
    for (int i = 0; i < 3; ++i) live->tick();
    EXPECT_EQ(text("TileRam"), "75%");
    EXPECT_EQ(text("TileRamSub"), "6,0 of 8 GB in use");
}

TEST_F(LiveTiles, TheTimerTicksOnceASecondUntilStopped) {
    live->start();
    pc->advance_clock(999ms);
    loop.process_pending();
    EXPECT_EQ(live->ticks(), 0);
    pc->advance_clock(1ms);
    loop.process_pending();
    EXPECT_EQ(live->ticks(), 1);
    live->stop();
    pc->advance_clock(5s);
    loop.process_pending();
    EXPECT_EQ(live->ticks(), 1);
}
