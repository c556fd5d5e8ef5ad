// Tools as modules: the runner's order and failure rules, and the one-second timer they tick on.
#include <gtest/gtest.h>

#include "app/tools/module.h"
#include "headless_app.h"
#include "platform/sim/sim_desktop.h"

using namespace vexlo;

namespace {

struct Probe : Module {
    std::string id;
    std::vector<std::string>& events;
    bool fail_start = false;
    Probe(std::string i, std::vector<std::string>& e, bool fail = false) : id(std::move(i)), events(e), fail_start(fail) {}
    std::string_view name() const override { return id; }
    void build_page(ui::Element& host) override {
        host.add("scroll", "Page_" + id);
        events.push_back("page " + id);
    }
    void start(ModuleContext& ctx) override {
        events.push_back("start " + id);
        if (fail_start) throw std::runtime_error("no timer resolution");
        ctx.every_second.add_step([this] { events.push_back("tick " + id); });
    }
    void stop() override { events.push_back("stop " + id); }
};

struct Event : platform::NamedEvent {
    bool signalled = false;
    void signal() override { signalled = true; }
    bool poll() override { return std::exchange(signalled, false); }
};

}  // namespace

TEST(Modules, StartInOrderStopInReverseAndAFailureStopsNoOther) {
    testkit::Headless h;
    std::vector<std::string> events;
    ModuleRunner runner;
    runner.add(std::make_unique<Probe>("booster", events));
    runner.add(std::make_unique<Probe>("ping", events, /*fail=*/true));
    runner.add(std::make_unique<Probe>("updater", events));

    ui::Ui& ui = h.app->window();
    runner.build_pages(ui("HostGrid"), ui);
    EXPECT_TRUE(ui.find("Page_ping"));

    EventLoop loop(h.pc->clock());
    BoostTimer timer(loop, nullptr, {});
    Reg settings = h.reg();
    ui::WindowFront front(ui);
    ModuleContext ctx{loop, *h.pc, h.app->tweaks(), front, ui, settings, timer};
    runner.start_all(ctx);
    EXPECT_EQ(ui("StatusText").text(), "Failed: ping could not start - no timer resolution");
    timer.tick();
    runner.stop_all(ui);
    EXPECT_EQ(events, (std::vector<std::string>{"page booster", "page ping", "page updater", "start booster",
                                                "start ping", "start updater", "tick booster", "tick updater",
                                                "stop updater", "stop ping", "stop booster"}));
    runner.stop_all(ui);  // a second exit stops nothing twice
    EXPECT_EQ(events.size(), 11u);
}

TEST(BoostTimerTick, SecondStartShowsTheWindowOnceAndAFailingStepSkipsOnlyItself) {
    sim::SimClock clock;
    clock.freeze();
    EventLoop loop(clock);
    Event show;
    int shown = 0, after = 0;
    BoostTimer timer(loop, &show, [&] { ++shown; });
    timer.add_step([] { throw std::runtime_error("booster tick failed"); });
    timer.add_step([&] { ++after; });
    show.signal();
    timer.tick();
    timer.tick();
    EXPECT_EQ(shown, 1) << "the event resets itself";
    EXPECT_EQ(after, 2);
    EXPECT_FALSE(timer.running());

    // Started, it ticks once a second of the platform's time.
    timer.start();
    clock.advance(std::chrono::milliseconds(999));
    loop.process_pending();
    EXPECT_EQ(after, 2);
    clock.advance(std::chrono::milliseconds(1));
    loop.process_pending();
    EXPECT_EQ(after, 3);
    timer.stop();
    clock.advance(std::chrono::milliseconds(5000));
    loop.process_pending();
    EXPECT_EQ(after, 3);
}
