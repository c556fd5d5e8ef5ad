// Start-up to "Ready" and the full state pass, on the simulated PC.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <random>

#include "app/app.h"
#include "platform/sim/sim_machine.h"

using namespace vexlo;

namespace {

std::filesystem::path bench_dir() {
    std::random_device rd;
    return std::filesystem::temp_directory_path() / ("vexlo-bench-" + std::to_string(rd()));
}

struct Machine {
    std::filesystem::path dir = bench_dir();
    std::unique_ptr<sim::SimMachine> pc = sim::SimMachine::open(dir);
    ~Machine() {
        pc.reset();
        std::filesystem::remove_all(dir);
    }
};

void BM_StartUpToReady(benchmark::State& state) {
    Machine m;
    for (auto _ : state) {
        App app(*m.pc);
        app.start_up();
        benchmark::DoNotOptimize(app.tweaks().catalog().tweaks.size());
    }
}
BENCHMARK(BM_StartUpToReady)->Unit(benchmark::kMillisecond);

// The same stages without the window's content, as the command line starts.
void BM_StartUpWithoutWindow(benchmark::State& state) {
    Machine m;
    StartOptions opts;
    opts.build_window = false;
    for (auto _ : state) {
        App app(*m.pc, opts);
        app.start_up();
        benchmark::DoNotOptimize(app.tweaks().catalog().tweaks.size());
    }
}
BENCHMARK(BM_StartUpWithoutWindow)->Unit(benchmark::kMillisecond);

void BM_FullStatePass(benchmark::State& state) {
    Machine m;
    App app(*m.pc);
    app.start_up();
    // The pass as the refresh runs it: every tweak re-tested, then announced to its switches.
    for (auto _ : state) app.tweaks().refresh_all({}, /*reread_caches=*/false);
    state.counters["tweaks"] = double(app.tweaks().catalog().tweaks.size());
}
BENCHMARK(BM_FullStatePass)->Unit(benchmark::kMicrosecond);

// The same after a bulk run or an adapter restart: the adapters' properties and the devices'
// power entries are read again first.
void BM_FullStatePassRereadingCaches(benchmark::State& state) {
    Machine m;
    App app(*m.pc);
    app.start_up();
    for (auto _ : state) app.tweaks().refresh_all({}, /*reread_caches=*/true);
    state.counters["tweaks"] = double(app.tweaks().catalog().tweaks.size());
}
BENCHMARK(BM_FullStatePassRereadingCaches)->Unit(benchmark::kMicrosecond);

void BM_SwitchRoundTrip(benchmark::State& state) {
    Machine m;
    App app(*m.pc);
    app.start_up();
    int id = app.switches().of("pthrottle").front()->id();
    for (auto _ : state) {
        app.window().tree().dispatch(id, "click", true);
        app.window().tree().dispatch(id, "click", false);
        app.window().tree().take_patches();
    }
}
BENCHMARK(BM_SwitchRoundTrip)->Unit(benchmark::kMicrosecond);

}  // namespace


