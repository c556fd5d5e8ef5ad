// The game booster's tick on the simulated PC: the one-second tick with nothing to do (booster
// on, no game), and the tick that sees the game start among 150 processes.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <random>

#include "app/app.h"
#include "app/core/booster_options.h"
#include "app/tools/booster/booster.h"
#include "app/ui/main_view.h"
#include "platform/sim/sim_machine.h"

using namespace vexlo;

namespace {

constexpr const char* kGame = "FortniteClient-Win64-Shipping.exe";

std::filesystem::path bench_dir() {
    std::random_device rd;
    return std::filesystem::temp_directory_path() / ("vexlo-bench-" + std::to_string(rd()));
}

// A started product and a booster started on it, as the application starts its tools.
struct Rig {
    std::filesystem::path dir = bench_dir();
    std::unique_ptr<sim::SimMachine> pc = sim::SimMachine::open(dir);
    std::unique_ptr<App> app;
    std::unique_ptr<EventLoop> loop;
    std::unique_ptr<BoostTimer> timer;
    std::unique_ptr<Reg> reg;
    std::unique_ptr<ui::WindowFront> front;
    std::unique_ptr<ModuleContext> ctx;
    booster::BoosterModule b;

    explicit Rig(size_t processes) {
        pc->freeze_clock();
        // Plenty of free memory: the standby check reads the lists and leaves them.
        pc->set_memory_lists(8ull << 30, 2ull << 30);
        // Launchers, browsers and helpers of every kind the booster lowers, and others it does
        // not, until the machine runs `processes` programs.
        const char* names[] = {"chrome.exe", "msedge.exe", "steamwebhelper.exe", "svchost.exe", "RuntimeBroker.exe",
                               "Discord.exe", "Teams.exe", "conhost.exe", "OneDrive.exe", "dllhost.exe"};
        for (size_t i = pc->process_list().size(); i < processes; ++i) pc->start_process(names[i % std::size(names)]);
        app = std::make_unique<App>(*pc);
        app->start_up();
        loop = std::make_unique<EventLoop>(pc->clock());
        timer = std::make_unique<BoostTimer>(*loop, nullptr, std::function<void()>{});
        reg = std::make_unique<Reg>(pc->registry());
        front = std::make_unique<ui::WindowFront>(app->window());
        ctx = std::make_unique<ModuleContext>(
            ModuleContext{*loop, *pc, app->tweaks(), *front, app->window(), *reg, *timer, &app->view().actions()});
        booster_options::set(*reg, "On", 1);
        b.build_page(app->window()("HostGrid"));
        b.start(*ctx);
    }
    ~Rig() {
        b.stop();
        app.reset();
        pc.reset();
        std::filesystem::remove_all(dir);
    }
};

void BM_BoosterTickNothingToDo(benchmark::State& state) {
    Rig r(150);
    for (auto _ : state) r.b.tick();
    state.counters["processes"] = double(r.pc->process_list().size());
}
BENCHMARK(BM_BoosterTickNothingToDo)->Unit(benchmark::kMicrosecond);

void BM_BoosterTickGameStarts(benchmark::State& state) {
    Rig r(149);
    size_t lowered = 0;
    for (auto _ : state) {
        state.PauseTiming();
        r.pc->start_process(kGame);
        state.ResumeTiming();
        r.b.tick();  // raises the game, lowers the launchers and browsers, purges the standby list
        state.PauseTiming();
        lowered = r.b.state().lowered.size();
        r.pc->stop_process(kGame);
        r.b.tick();  // puts them back
        state.ResumeTiming();
    }
    state.counters["lowered_each_start"] = double(lowered);
}
BENCHMARK(BM_BoosterTickGameStarts)->Unit(benchmark::kMicrosecond);

}  // namespace
