// The window's heavier paths on the simulated PC: the full re-read with every counter, a bulk
// run of every available tweak with its progress panel, and one search from keystroke to patch.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <random>

#include "app/app.h"
#include "app/tweaks/tweak_sets.h"
#include "app/ui/main_view.h"
#include "platform/sim/sim_machine.h"

using namespace vexlo;

namespace {

struct Machine {
    std::filesystem::path dir = std::filesystem::temp_directory_path() /
                                ("vexlo-bench-" + std::to_string(std::random_device{}()));
    std::unique_ptr<sim::SimMachine> pc = sim::SimMachine::open(dir);
    ~Machine() {
        pc.reset();
        std::filesystem::remove_all(dir);
    }
};

// Every tweak re-read (caches included), every switch and counter updated.
void BM_RefreshAll(benchmark::State& state) {
    Machine m;
    App app(*m.pc);
    app.start_up();
    for (auto _ : state) app.view().refresh_all();
    state.counters["tweaks"] = double(app.tweaks().catalog().tweaks.size());
}
BENCHMARK(BM_RefreshAll)->Unit(benchmark::kMicrosecond);

// Apply every available tweak in one bulk run with its progress panel, then revert them all;
// the counters report the time per tweak.
void BM_BulkApplyEverything(benchmark::State& state) {
    Machine m;
    App app(*m.pc);
    app.start_up();
    app.window().on_dialog_shown = [](ui::Ui& u) { u.end_dialog(); };
    auto all = real_tweaks(app.tweaks().catalog());
    size_t changed = 0;
    for (auto _ : state) {
        state.PauseTiming();
        app.view().invoke_bulk(all, BulkMode::Revert, /*quiet=*/true);
        size_t todo = app.tweaks().bulk_todo(all, BulkMode::Apply).size();
        state.ResumeTiming();
        app.view().invoke_bulk(all, BulkMode::Apply, /*quiet=*/true);
        changed += todo;
    }
    state.counters["tweaks"] = double(changed) / double(state.iterations());
    state.counters["per_tweak"] =
        benchmark::Counter(double(changed), benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_BulkApplyEverything)->Unit(benchmark::kMillisecond)->Iterations(5);

// A keystroke in the search box to the patch the renderer gets: the debounce fires at once
// here, so this is the search itself, the cards and the patch.
void BM_SearchKeystrokeToPatch(benchmark::State& state) {
    Machine m;
    App app(*m.pc);
    app.start_up();
    ui::Ui& u = app.window();
    u.tree().take_patches();
    const int box = u("SearchBox").id();
    bool flip = false;
    for (auto _ : state) {
        flip = !flip;
        u.tree().dispatch(box, "input", flip ? "power" : "disable");
        app.view().run_search();
        benchmark::DoNotOptimize(u.tree().take_patches().dump());
    }
}
BENCHMARK(BM_SearchKeystrokeToPatch)->Unit(benchmark::kMicrosecond);

// The matching alone, as one search runs it over every tweak's text: an ASCII query and one
// with a letter beyond ASCII.
void BM_SearchMatches(benchmark::State& state) {
    Machine m;
    App app(*m.pc);
    app.start_up();
    std::vector<std::string> texts;
    for (auto& t : app.tweaks().catalog().tweaks) texts.push_back(t->title + " " + t->desc + " " + t->group + " " + t->page);
    const char* query = state.range(0) == 0 ? "latency" : "\xC3\x89lan";
    for (auto _ : state) {
        size_t hits = 0;
        for (auto& text : texts) hits += ui::search_matches(text, query);
        benchmark::DoNotOptimize(hits);
    }
    state.counters["texts"] = double(texts.size());
}
BENCHMARK(BM_SearchMatches)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

}  // namespace
