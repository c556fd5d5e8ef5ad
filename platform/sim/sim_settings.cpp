// The boot entry, the memory manager agent and Defender of the simulated PC.
#include <algorithm>

#include "platform/sim/sim_world.h"

namespace vexlo::sim {

namespace fs = std::filesystem;
using platform::PlatformError;

// ---- Boot entry ----

namespace {

// Elements that bcdedit lists as Yes/No.
constexpr std::string_view kYesNo[] = {
    "bootems",          "bootlog",       "debug",          "disabledynamictick", "ems",
    "isolatedcontext",  "nointegritychecks", "novesa",     "novga",              "quietboot",
    "recoveryenabled",  "sos",           "testsigning",    "useplatformclock",   "useplatformtick",
    "usefirmwarepcisettings", "vga",
};

struct Choices {
    std::string_view element;
    std::vector<std::string_view> values;
};
const Choices kChoices[] = {
    {"nx", {"OptIn", "OptOut", "AlwaysOn", "AlwaysOff"}},
    {"bootmenupolicy", {"Legacy", "Standard"}},
    {"hypervisorlaunchtype", {"Off", "Auto"}},
    {"tscsyncpolicy", {"Default", "Legacy", "Enhanced"}},
    {"x2apicpolicy", {"Default", "Enable", "Disable"}},
    {"bootstatuspolicy", {"DisplayAllFailures", "IgnoreAllFailures", "IgnoreShutdownFailures", "IgnoreBootFailures",
                          "IgnoreCheckpointFailures", "DisplayShutdownFailures", "DisplayBootFailures",
                          "DisplayCheckpointFailures"}},
};

std::string boot_value(const std::string& element, std::string_view value) {
    if (std::find(std::begin(kYesNo), std::end(kYesNo), element) != std::end(kYesNo)) {
        for (std::string_view yes : {"yes", "on", "true", "1"})
            if (iequals(value, yes)) return "Yes";
        for (std::string_view no : {"no", "off", "false", "0"})
            if (iequals(value, no)) return "No";
        throw PlatformError("Cannot set " + element + ": The boolean value specified is not valid.");
    }
    for (auto& c : kChoices) {
        if (c.element != element) continue;
        for (auto v : c.values)
            if (iequals(v, value)) return std::string(v);
        throw PlatformError("Cannot set " + element + ": The parameter is incorrect.");
    }
    return std::string(value);
}

}  // namespace

SimBoot::SimBoot(const fs::path& dir) : store_(dir / "boot.json", world_counter_file(dir), "boot entry") {}

std::map<std::string, std::string> SimBoot::current_entry() {
    return store_.read([](const BootEntry& b) { return b.values; });
}

void SimBoot::set_value(std::string_view name, std::string_view value) {
    std::string element = to_lower(name);
    if (element.empty() || value.empty() || element.find_first_of(" \t\"") != std::string::npos)
        throw PlatformError("The boot setting \"" + std::string(name) + "\" cannot be set: The parameter is incorrect.");
    if (element == "identifier")
        throw PlatformError("The identifier of the boot entry cannot be changed: The parameter is incorrect.");
    std::string stored = boot_value(element, value);
    store_.update([&](BootEntry& b) { b.values[element] = stored; });
}

void SimBoot::delete_value(std::string_view name) {
    std::string element = to_lower(name);
    if (element == "identifier")
        throw PlatformError("The identifier of the boot entry cannot be deleted: The parameter is incorrect.");
    store_.update([&](BootEntry& b) {
        if (!b.values.erase(element))
            throw PlatformError("An error occurred while attempting to delete the boot setting \"" + std::string(name) +
                                "\": Element not found.");
    });
}

// ---- Memory manager agent ----

namespace {

template <class State>
auto& feature_of(State& m, platform::MemoryFeature f) {
    switch (f) {
        case platform::MemoryFeature::Compression: return m.memory_compression;
        case platform::MemoryFeature::PageCombining: return m.page_combining;
        case platform::MemoryFeature::ApplicationPreLaunch: break;
    }
    return m.application_pre_launch;
}

}  // namespace

SimMemoryAgent::SimMemoryAgent(const fs::path& dir)
    : store_(dir / "memory_agent.json", world_counter_file(dir), "memory manager agent") {}

std::optional<bool> SimMemoryAgent::enabled(platform::MemoryFeature feature) {
    return store_.read([&](const MemoryAgentState& m) -> std::optional<bool> { return feature_of(m, feature); });
}

void SimMemoryAgent::set_enabled(platform::MemoryFeature feature, bool on) {
    store_.update([&](MemoryAgentState& m) { feature_of(m, feature) = on; });
}

// ---- Defender ----

SimDefender::SimDefender(const fs::path& dir) : store_(dir / "defender.json", world_counter_file(dir), "Defender") {}

bool SimDefender::available() {
    return store_.read([](const DefenderState& d) { return d.available; });
}

bool SimDefender::realtime_protection_enabled() {
    return store_.read([](const DefenderState& d) { return d.available && d.realtime_protection; });
}

std::vector<std::string> SimDefender::exclusion_paths() {
    return store_.read([](const DefenderState& d) { return d.available ? d.exclusion_paths : std::vector<std::string>{}; });
}

namespace {

void check_available(const DefenderState& d) {
    if (!d.available)
        throw PlatformError("Cannot change Microsoft Defender's preferences: the Defender service is not running.");
}

}  // namespace

void SimDefender::add_exclusion_path(std::string_view path) {
    if (path.empty()) throw PlatformError("Cannot add an empty exclusion path.");
    store_.update([&](DefenderState& d) {
        check_available(d);
        for (auto& p : d.exclusion_paths)
            if (iequals(p, path)) return;
        d.exclusion_paths.emplace_back(path);
    });
}

void SimDefender::remove_exclusion_path(std::string_view path) {
    store_.update([&](DefenderState& d) {
        check_available(d);
        std::erase_if(d.exclusion_paths, [&](const std::string& p) { return iequals(p, path); });
    });
}

bool SimDefender::antimalware_service_enabled() {
    return store_.read([](const DefenderState& d) { return d.available && d.antimalware_service; });
}

std::optional<int> SimDefender::scan_cpu_load_factor() {
    return store_.read([](const DefenderState& d) { return d.available ? std::optional<int>(d.scan_cpu_load_factor) : std::nullopt; });
}

std::optional<bool> SimDefender::low_cpu_priority() {
    return store_.read([](const DefenderState& d) { return d.available ? std::optional<bool>(d.low_cpu_priority) : std::nullopt; });
}

void SimDefender::set_scan_cpu_load_factor(int percent) {
    if (percent < 5 || percent > 100)
        throw PlatformError("Cannot set Defender's scan CPU load factor to " + std::to_string(percent) +
                            ": it must be from 5 to 100.");
    store_.update([&](DefenderState& d) {
        check_available(d);
        d.scan_cpu_load_factor = percent;
    });
}

void SimDefender::set_low_cpu_priority(bool on) {
    store_.update([&](DefenderState& d) {
        check_available(d);
        d.low_cpu_priority = on;
    });
}

}  // namespace vexlo::sim
