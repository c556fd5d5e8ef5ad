#pragma once
// The built-in machines a new simulated PC starts as. Each image is one function that takes
// a base machine and changes what differs, so adding one ("no game installed", "Windows Home")
// is a few lines in sim_images.cpp.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/processes.h"
#include "platform/sim/sim_registry.h"

namespace vexlo::sim {

struct MachineFacts {
    uint32_t windows_build = 0;
    uint64_t total_memory_bytes = 0;  // as Windows reports it: a little under what is fitted
    int refresh_hz = 60;
    bool battery = false;
    std::vector<std::string> cpus;
    std::vector<std::string> gpus;
    std::string os_caption;
    bool elevated = true;
};

struct MachineImage {
    std::string name;
    MachineFacts facts;
    std::vector<std::pair<std::string, std::string>> environment;  // the user's, in display order
    std::vector<RegEntry> registry;
    std::vector<platform::ProcessInfo> processes;
    std::vector<std::string> folders;                          // Windows paths, made empty
    std::vector<std::pair<std::string, std::string>> files;    // Windows path, content

    // For images made from another one. Names compare without regard to case.
    void set_value(platform::Hive hive, std::string_view key, std::string_view name, platform::RegValue value);
    void remove_value(platform::Hive hive, std::string_view key, std::string_view name);
    void add_key(platform::Hive hive, std::string_view key);
    // Removes the key's own entries and those of every key below it.
    void remove_key(platform::Hive hive, std::string_view key);
    void set_env(std::string_view name, std::string value);
};

std::vector<std::string> image_names();
// Nullopt for an unknown name.
std::optional<MachineImage> make_image(std::string_view name);

}  // namespace vexlo::sim
