#include "host/cli_sim.h"

#include <cstdio>
#include <iostream>
#include <nlohmann/json.hpp>

#include "platform/error.h"

namespace vexlo::cli {

using ordered = nlohmann::ordered_json;
using platform::PlatformError;

namespace {

constexpr uint64_t kMiB = 1024 * 1024;

// "on" or "off"; nullopt when the option was not given. Throws for anything else.
std::optional<bool> on_off(const std::string& value, const char* option) {
    if (value.empty()) return std::nullopt;
    if (value == "on") return true;
    if (value == "off") return false;
    throw PlatformError(std::string(option) + " takes on or off, not \"" + value + "\".");
}

// 156250 -> "15.625 ms", 10000 -> "1 ms", as the booster shows a resolution.
std::string ms_text(uint32_t units) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.3f", units / 10000.0);
    std::string s = buf;
    while (s.back() == '0') s.pop_back();
    if (s.back() == '.') s.pop_back();
    return s + " ms";
}

std::string mib_text(uint64_t bytes) {
    std::string digits = std::to_string(bytes / kMiB);
    for (int at = int(digits.size()) - 3; at > 0; at -= 3) digits.insert(size_t(at), ",");
    return digits + " MiB";
}

// "1.1.1.1=18" or "1.1.1.1=18,loss=50".
sim::SimMachine::EchoTargetState parse_echo(const std::string& text) {
    sim::SimMachine::EchoTargetState t;
    size_t eq = text.find('=');
    if (eq == std::string::npos || eq == 0) throw PlatformError("--echo takes TARGET=MS[,loss=PERCENT], not \"" + text + "\".");
    t.address = text.substr(0, eq);
    std::string rest = text.substr(eq + 1);
    std::string ms = rest.substr(0, rest.find(','));
    auto number = [&](const std::string& digits) {
        if (digits.empty() || digits.size() > 9 || digits.find_first_not_of("0123456789") != std::string::npos)
            throw PlatformError("--echo takes TARGET=MS[,loss=PERCENT], not \"" + text + "\".");
        return std::stoul(digits);
    };
    t.ms = uint32_t(number(ms));
    if (size_t comma = rest.find(','); comma != std::string::npos) {
        std::string extra = rest.substr(comma + 1);
        if (!extra.starts_with("loss=")) throw PlatformError("--echo takes TARGET=MS[,loss=PERCENT], not \"" + text + "\".");
        t.loss = int(number(extra.substr(5)));
    }
    return t;
}

}  // namespace

SimCommands::SimCommands(CLI::App& sim) {
    start_ = sim.add_subcommand("start-process", "Start a program, e.g. FortniteClient-Win64-Shipping.exe");
    start_->add_option("image", image_)->required();
    start_->add_option("--priority", priority_, "Its priority class: Idle, BelowNormal, Normal (default), AboveNormal, "
                                                "High or Realtime");
    start_->add_flag("--protected", guarded_,
                     "Guarded as by a game's anti-cheat: its priority can be read, not changed, and it cannot be stopped");

    processes_ = sim.add_subcommand("processes", "The running programs: pid, priority class, whether they refuse changes");
    processes_->add_flag("--json", json_, "As JSON");

    timer_ = sim.add_subcommand("timer", "The system timer: current, finest and coarsest resolution, the requests held");
    timer_->add_flag("--json", json_, "As JSON");
    timer_->add_option("--native-calls", native_calls_,
                       "off: the PC lacks the kernel calls the booster binds (it shows \"Booster unavailable\")");

    memory_ = sim.add_subcommand("memory", "The memory lists (free, standby), their purge and the purges done");
    memory_->add_flag("--json", json_, "As JSON");
    memory_->add_option("--free-mb", free_mb_, "Set the free list, in MiB");
    memory_->add_option("--standby-mb", standby_mb_, "Set the standby list, in MiB");
    memory_->add_option("--refuse-purge", refuse_purge_, "on: a purge fails as without the privilege (0xC0000061)");
    memory_->add_option("--readable", lists_readable_, "off: the memory lists cannot be read");

    load_ = sim.add_subcommand("load", "Processor load and memory in use, as the live tiles read them");
    load_->add_flag("--json", json_, "As JSON");
    load_->add_option("--cpu", cpu_, "Set the processor load, in percent");
    load_->add_option("--readable", counters_readable_, "off: processor load and memory in use cannot be read");

    network_ = sim.add_subcommand("network", "How ICMP echo targets answer: round trip and losses, or no network");
    network_->add_flag("--json", json_, "As JSON");
    network_->add_option("--echo", echo_, "TARGET=MS[,loss=PERCENT]: the target answers after MS, losing PERCENT of "
                                          "the echoes (repeatable)");
    network_->add_option("--remove", remove_, "Forget a target: it no longer answers (repeatable)");
    network_->add_flag("--clear", clear_, "Forget every target");
    network_->add_option("--offline", offline_, "on: no network, every echo fails");

    tray_ = sim.add_subcommand("tray", "The running core's notification-area icon: tooltip, menu, balloons shown");
    tray_->add_flag("--json", json_, "As JSON");
    tray_->add_flag("--double-click", double_click_, "Double-click the icon");
    choose_ = tray_->add_subcommand("choose", "Choose an entry of the icon's menu, e.g. \"Exit\"");
    choose_->add_option("entry", entry_)->required();
}

std::optional<int> SimCommands::run(sim::SimMachine& pc) {
    try {
        if (start_->parsed()) return start_process(pc);
        if (processes_->parsed()) return processes(pc);
        if (timer_->parsed()) return timer(pc);
        if (memory_->parsed()) return memory(pc);
        if (load_->parsed()) return load(pc);
        if (network_->parsed()) return network(pc);
        if (tray_->parsed()) return tray(pc);
    } catch (const PlatformError& e) {
        std::cerr << e.what() << "\n";
        return 1;
    }
    return std::nullopt;
}

int SimCommands::start_process(sim::SimMachine& pc) {
    auto cls = platform::PriorityClass::Normal;
    if (!priority_.empty()) {
        auto parsed = platform::parse_priority(priority_);
        if (!parsed) {
            std::cerr << "--priority takes Idle, BelowNormal, Normal, AboveNormal, High or Realtime, not \"" << priority_
                      << "\".\n";
            return 2;
        }
        cls = *parsed;
    }
    pc.start_process(image_, cls, guarded_);
    return 0;
}

int SimCommands::processes(sim::SimMachine& pc) {
    auto list = pc.process_list();
    if (json_) {
        ordered out = ordered::array();
        for (auto& p : list)
            out.push_back({{"pid", p.pid},
                           {"image", p.image},
                           {"priority", std::string(platform::priority_name(p.priority))},
                           {"refuses_changes", p.refuses_changes}});
        std::cout << out.dump(2) << "\n";
        return 0;
    }
    std::printf("%7s  %-12s %s\n", "PID", "PRIORITY", "IMAGE");
    for (auto& p : list)
        std::printf("%7u  %-12s %s%s\n", p.pid, std::string(platform::priority_name(p.priority)).c_str(), p.image.c_str(),
                    p.refuses_changes ? "  (refuses changes)" : "");
    return 0;
}

int SimCommands::timer(sim::SimMachine& pc) {
    if (auto on = on_off(native_calls_, "--native-calls")) pc.set_booster_available(*on);
    auto res = pc.performance().query_timer_resolution();
    auto requests = pc.timer_requests();
    if (json_) {
        ordered reqs = ordered::array();
        for (auto& r : requests)
            reqs.push_back({{"pid", r.pid}, {"image", r.image}, {"value", r.value}, {"alive", r.alive}});
        ordered out = {{"native_calls", res.has_value()}};
        if (res) {
            out["current"] = res->current;
            out["minimum"] = res->minimum;
            out["maximum"] = res->maximum;
        }
        out["requests"] = reqs;
        std::cout << out.dump(2) << "\n";
        return 0;
    }
    if (!res) {
        std::cout << "The booster's kernel calls are missing on this PC: the timer cannot be read or set.\n";
        return 0;
    }
    std::cout << "Current: " << ms_text(res->current) << " (" << res->current << ")\n"
              << "Finest: " << ms_text(res->minimum) << " (" << res->minimum << "), coarsest: " << ms_text(res->maximum)
              << " (" << res->maximum << ")\n";
    if (requests.empty()) std::cout << "Requests held: none\n";
    else std::cout << "Requests held:\n";
    for (auto& r : requests)
        std::cout << "  " << ms_text(r.value) << " (" << r.value << ") by " << r.image << ", process " << r.pid
                  << (r.alive ? "" : ": ended without releasing it, no longer counted") << "\n";
    return 0;
}

int SimCommands::memory(sim::SimMachine& pc) {
    if (free_mb_ || standby_mb_) {
        auto now = pc.memory_state();
        pc.set_memory_lists(free_mb_ ? *free_mb_ * kMiB : now.free_bytes, standby_mb_ ? *standby_mb_ * kMiB : now.standby_bytes);
    }
    if (auto on = on_off(refuse_purge_, "--refuse-purge")) pc.set_purge_refused(*on);
    if (auto on = on_off(lists_readable_, "--readable")) pc.set_memory_lists_readable(*on);
    auto m = pc.memory_state();
    if (json_) {
        ordered out = {{"free_bytes", m.free_bytes},   {"standby_bytes", m.standby_bytes},
                       {"free_mb", m.free_bytes / kMiB}, {"standby_mb", m.standby_bytes / kMiB},
                       {"purges", m.purges},            {"refuse_purge", m.refuse_purge},
                       {"readable", m.readable}};
        std::cout << out.dump(2) << "\n";
        return 0;
    }
    std::cout << "Free: " << mib_text(m.free_bytes) << "   Standby: " << mib_text(m.standby_bytes)
              << (m.readable ? "" : "   (unreadable: the counters fail)") << "\n"
              << "Purges done: " << m.purges << "\n"
              << "Purge: " << (m.refuse_purge ? "refused (privilege not held, 0xC0000061)" : "allowed") << "\n";
    return 0;
}

int SimCommands::load(sim::SimMachine& pc) {
    if (cpu_) pc.set_processor_load(*cpu_);
    if (auto on = on_off(counters_readable_, "--readable")) pc.set_system_counters_readable(*on);
    auto cpu = pc.performance().processor_load();
    auto mem = pc.performance().memory_use();
    if (json_) {
        ordered out = ordered::object();
        out["processor_load"] = cpu ? ordered(*cpu) : ordered(nullptr);
        out["memory"] = mem ? ordered{{"total_kib", mem->total_kib}, {"free_kib", mem->free_kib}} : ordered(nullptr);
        std::cout << out.dump(2) << "\n";
        return 0;
    }
    if (!cpu || !mem) {
        std::cout << "Processor load and memory in use cannot be read.\n";
        return 0;
    }
    char buf[160];
    double total_gib = mem->total_kib / 1048576.0, used_gib = (mem->total_kib - mem->free_kib) / 1048576.0;
    std::snprintf(buf, sizeof buf, "Processor: %.0f%%\nMemory: %.1f of %.0f GB in use (%lu KiB free of %lu KiB)\n", *cpu,
                  used_gib, total_gib, (unsigned long)mem->free_kib, (unsigned long)mem->total_kib);
    std::cout << buf;
    return 0;
}

int SimCommands::network(sim::SimMachine& pc) {
    std::vector<sim::SimMachine::EchoTargetState> add;
    for (auto& e : echo_) add.push_back(parse_echo(e));  // all checked before any is changed
    if (clear_) pc.clear_echo_targets();
    for (auto& r : remove_)
        if (!pc.remove_echo_target(r)) std::cerr << r << " was not listed.\n";
    for (auto& t : add) pc.set_echo_target(t.address, t.ms, t.loss);
    if (auto on = on_off(offline_, "--offline")) pc.set_network_offline(*on);
    auto targets = pc.echo_targets();
    bool offline = pc.network_offline();
    if (json_) {
        ordered list = ordered::array();
        for (auto& t : targets) list.push_back({{"address", t.address}, {"ms", t.ms}, {"loss", t.loss}});
        std::cout << ordered{{"offline", offline}, {"targets", list}}.dump(2) << "\n";
        return 0;
    }
    std::cout << (offline ? "Network: offline (every echo fails)\n" : "Network: connected\n");
    std::cout << (targets.empty() ? "Echo targets: none (every echo times out)\n" : "Echo targets:\n");
    for (auto& t : targets) {
        std::cout << "  " << t.address << "  " << t.ms << " ms";
        if (t.loss) std::cout << ", loses " << t.loss << "%";
        std::cout << "\n";
    }
    return 0;
}

int SimCommands::tray(sim::SimMachine& pc) {
    if (choose_->parsed()) {
        pc.tray_choose(entry_);
        std::cout << "Chose \"" << entry_ << "\" on the icon of process " << pc.tray_state().owner_pid << ".\n";
        return 0;
    }
    if (double_click_) {
        pc.tray_double_click();
        std::cout << "Double-clicked the icon of process " << pc.tray_state().owner_pid << ".\n";
        return 0;
    }
    auto s = pc.tray_state();
    if (json_) {
        ordered balloons = ordered::array();
        for (auto& b : s.balloons) balloons.push_back({{"title", b.title}, {"text", b.text}, {"timeout_ms", b.timeout_ms}});
        ordered out = {{"shown", s.shown}, {"pid", s.owner_pid}, {"tooltip", s.tooltip}, {"menu", s.menu},
                       {"balloons", balloons}};
        std::cout << out.dump(2) << "\n";
        return 0;
    }
    if (!s.shown) {
        std::cout << "Icon: none\n";
        if (s.owner_pid == 0) return 0;
        std::cout << "Last shown by process " << s.owner_pid << ":\n";
    } else {
        std::cout << "Icon: shown by process " << s.owner_pid << "\n";
    }
    std::cout << "Tooltip: " << s.tooltip << "\nMenu:";
    for (auto& m : s.menu) std::cout << "\n  " << (m.empty() ? "----" : m);
    std::cout << "\n" << (s.balloons.empty() ? "Balloons: none\n" : "Balloons:\n");
    for (auto& b : s.balloons) std::cout << "  [" << b.timeout_ms << " ms] " << b.title << ": " << b.text << "\n";
    return 0;
}

}  // namespace vexlo::cli
