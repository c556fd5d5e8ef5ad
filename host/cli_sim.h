#pragma once
// `vexlo sim ...`: looking at and changing the simulated PC's running programs, system timer,
// memory, echo targets, processor load and notification area, as a person or a test would on
// a real PC (Task Manager, a network that loses packets, a click on the tray icon).
#include <CLI/CLI.hpp>
#include <optional>
#include <string>
#include <vector>

#include "platform/sim/sim_machine.h"

namespace vexlo::cli {

class SimCommands {
public:
    // Adds its commands under `sim` (start-process keeps its plain form).
    explicit SimCommands(CLI::App& sim);
    // The command given, run on `pc`; nullopt when none of these was given.
    std::optional<int> run(sim::SimMachine& pc);

private:
    int start_process(sim::SimMachine& pc);
    int processes(sim::SimMachine& pc);
    int timer(sim::SimMachine& pc);
    int memory(sim::SimMachine& pc);
    int load(sim::SimMachine& pc);
    int network(sim::SimMachine& pc);
    int tray(sim::SimMachine& pc);

    CLI::App *start_ = nullptr, *processes_ = nullptr, *timer_ = nullptr, *memory_ = nullptr, *load_ = nullptr,
             *network_ = nullptr, *tray_ = nullptr, *choose_ = nullptr;
    bool json_ = false;
    std::string image_;
    std::string priority_;
    bool guarded_ = false;
    std::string native_calls_;
    std::optional<uint64_t> free_mb_, standby_mb_;
    std::string refuse_purge_, lists_readable_, counters_readable_;
    std::optional<double> cpu_;
    std::vector<std::string> echo_, remove_;
    bool clear_ = false;
    std::string offline_;
    bool double_click_ = false;
    std::string entry_;
};

}  // namespace vexlo::cli
