// Registry reads on the simulated PC: the full state pass reads hundreds of values, so one
// read must cost well under a microsecond or two (a stat of the registry file included).
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "platform/sim/sim_machine.h"

namespace {

using namespace vexlo;
using platform::Hive;

struct BenchMachine {
    std::filesystem::path dir;
    std::unique_ptr<sim::SimMachine> pc;
    BenchMachine() {
        std::string tmpl = (std::filesystem::temp_directory_path() / "vexlo-regbench-XXXXXX").string();
        if (::mkdtemp(tmpl.data())) dir = tmpl;
        pc = sim::SimMachine::open(dir);
    }
    ~BenchMachine() {
        pc.reset();
        std::filesystem::remove_all(dir);
    }
};

const char* const kGames = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Multimedia\\SystemProfile\\Tasks\\Games";

void BM_SimRegistryGetExisting(benchmark::State& state) {
    BenchMachine m;
    auto& reg = m.pc->registry();
    for (auto _ : state) benchmark::DoNotOptimize(reg.get(Hive::LocalMachine, kGames, "Scheduling Category"));
}
BENCHMARK(BM_SimRegistryGetExisting);

void BM_SimRegistryGetMissingValue(benchmark::State& state) {
    BenchMachine m;
    auto& reg = m.pc->registry();
    for (auto _ : state)
        benchmark::DoNotOptimize(
            reg.get(Hive::LocalMachine, "SYSTEM\\CurrentControlSet\\Control\\GraphicsDrivers", "TdrDelay"));
}
BENCHMARK(BM_SimRegistryGetMissingValue);

void BM_SimRegistryGetMissingKey(benchmark::State& state) {
    BenchMachine m;
    auto& reg = m.pc->registry();
    for (auto _ : state)
        benchmark::DoNotOptimize(reg.get(Hive::LocalMachine, "SYSTEM\\CurrentControlSet\\Control\\Power\\PowerThrottling",
                                         "PowerThrottlingOff"));
}
BENCHMARK(BM_SimRegistryGetMissingKey);

}  // namespace
