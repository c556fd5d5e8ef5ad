// The LIVE tiles' one-second tick on the simulated PC, as the running window does it: each tick
// takes the reply of the echo sent the second before, sends the next and redraws the ping
// tiles and the sparkline; every third tick also reads processor load and memory.
#include <benchmark/benchmark.h>

#include <chrono>
#include <filesystem>
#include <random>

#include "app/app.h"
#include "app/ui/live_stats.h"
#include "platform/sim/sim_machine.h"

using namespace vexlo;

namespace {

std::filesystem::path bench_dir() {
    std::random_device rd;
    return std::filesystem::temp_directory_path() / ("vexlo-bench-" + std::to_string(rd()));
}

void BM_LiveStatsTick(benchmark::State& state) {
    const auto dir = bench_dir();
    {
        auto pc = sim::SimMachine::open(dir);
        pc->freeze_clock();
        pc->set_echo_target("1.1.1.1", 23, /*loss_percent=*/10);
        App app(*pc);
        app.start_up();
        ui::LiveStats& live = *app.live_stats();
        // A full window of samples first, as after the first 40 seconds.
        for (int i = 0; i < 45; ++i) {
            pc->advance_clock(std::chrono::seconds(1));
            live.tick();
        }
        for (auto _ : state) {
            pc->advance_clock(std::chrono::seconds(1));
            live.tick();
            app.window().tree().take_patches();  // the flush after the tick, as the loop does
        }
        state.counters["samples"] = double(live.samples().size());
    }
    std::filesystem::remove_all(dir);
}
BENCHMARK(BM_LiveStatsTick)->Unit(benchmark::kMicrosecond);

}  // namespace
