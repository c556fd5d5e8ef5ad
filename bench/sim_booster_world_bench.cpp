// What the booster and the live tiles ask of the simulated PC every second: the process list
// (150 programs, as on a busy PC), a priority, the timer and an echo. A tick with nothing to
// do must stay well under 0.2 ms, so each of these must cost a few microseconds at most when
// nothing changed, and a re-read after another program's change must stay far below a tick.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "platform/sim/sim_machine.h"

namespace {

using namespace vexlo;

struct BenchMachine {
    std::filesystem::path dir;
    std::unique_ptr<sim::SimMachine> pc;
    BenchMachine() {
        std::string tmpl = (std::filesystem::temp_directory_path() / "vexlo-boostbench-XXXXXX").string();
        if (::mkdtemp(tmpl.data())) dir = tmpl;
        pc = sim::SimMachine::open(dir);
        for (int i = int(pc->process_list().size()); i < 150; ++i) pc->start_process("helper" + std::to_string(i) + ".exe");
    }
    ~BenchMachine() {
        pc.reset();
        std::filesystem::remove_all(dir);
    }
};

void BM_SimProcessList(benchmark::State& state) {
    BenchMachine m;
    auto& procs = m.pc->processes();
    for (auto _ : state) benchmark::DoNotOptimize(procs.list());
}
BENCHMARK(BM_SimProcessList)->Unit(benchmark::kMicrosecond);

// Another program started a process since the last look: the list is read from the file again.
void BM_SimProcessListAfterAChange(benchmark::State& state) {
    BenchMachine m;
    auto other = sim::SimMachine::open(m.dir);
    auto& procs = m.pc->processes();
    uint32_t pid = 0;
    for (auto _ : state) {
        state.PauseTiming();
        if (pid) other->processes().terminate(pid);
        pid = other->start_process("game.exe");
        state.ResumeTiming();
        benchmark::DoNotOptimize(procs.list());
    }
}
BENCHMARK(BM_SimProcessListAfterAChange)->Unit(benchmark::kMicrosecond);

void BM_SimPriorityAndTimer(benchmark::State& state) {
    BenchMachine m;
    auto& procs = m.pc->processes();
    auto& perf = m.pc->performance();
    uint32_t pid = m.pc->process_list().back().pid;
    for (auto _ : state) {
        benchmark::DoNotOptimize(procs.priority(pid));
        benchmark::DoNotOptimize(perf.query_timer_resolution());
    }
}
BENCHMARK(BM_SimPriorityAndTimer)->Unit(benchmark::kMicrosecond);

void BM_SimEchoSendAndPoll(benchmark::State& state) {
    BenchMachine m;
    m.pc->freeze_clock();
    auto& echo = m.pc->echo();
    for (auto _ : state) {
        auto e = echo.send("1.1.1.1", 1000);
        benchmark::DoNotOptimize(e->done());
    }
}
BENCHMARK(BM_SimEchoSendAndPoll)->Unit(benchmark::kMicrosecond);

}  // namespace
