#pragma once
// The built-in machines a new simulated PC starts as. Each image is one function that takes
// a base machine and changes what differs, so adding one ("no game installed", "Windows Home")
// is a few lines in sim_images.cpp.
#include <cstdint>
#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/processes.h"
#include "platform/sim/sim_registry.h"
#include "platform/sim/sim_world.h"

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
    // Who is signed in at the desktop when this program runs as another account (the user
    // elevated with someone else's administrator password); empty: the program's own user.
    std::string desktop_user;
};

// A running program as the simulated PC keeps it.
struct ProcessEntry {
    uint32_t pid = 0;
    std::string image;
    platform::PriorityClass priority = platform::PriorityClass::Normal;
    // Guarded (a game's anti-cheat, a protected process): its priority can be read, but
    // changing it or stopping it is refused.
    bool refuses_changes = false;
};

struct MachineImage {
    std::string name;
    MachineFacts facts;
    std::vector<std::pair<std::string, std::string>> environment;  // the user's, in display order
    std::vector<RegEntry> registry;
    std::vector<ProcessEntry> processes;
    std::vector<std::string> folders;                          // Windows paths, made empty
    std::vector<std::pair<std::string, std::string>> files;    // Windows path, content
    WorldSeed world;  // services' states, tasks, power plans, adapters, devices...

    // For images made from another one. Names compare without regard to case.
    void set_value(platform::Hive hive, std::string_view key, std::string_view name, platform::RegValue value);
    void remove_value(platform::Hive hive, std::string_view key, std::string_view name);
    void add_key(platform::Hive hive, std::string_view key);
    // The key, with the values set (added or replaced).
    void set_values(platform::Hive hive, std::string_view key,
                    std::initializer_list<std::pair<const char*, platform::RegValue>> values);
    // Removes the key's own entries and those of every key below it.
    void remove_key(platform::Hive hive, std::string_view key);
    void set_env(std::string_view name, std::string value);
    // Files and folders at or below `path` (any case) are left out.
    void remove_files(std::string_view path);
};

std::vector<std::string> image_names();

// sim_image_world.cpp: services and their states, tasks, power plans, adapters, devices, the
// boot entry, the memory agent and Defender.
void add_world_desktop11(MachineImage& m);
void change_world_desktop10(MachineImage& m);
void change_world_laptop11(MachineImage& m);
// sim_image_input.cpp: pointer and keyboard settings, input drivers, TCP/IP interfaces and DNS.
void add_input_desktop11(MachineImage& m);
void add_network_desktop11(MachineImage& m);  // after the adapters are in place
void change_network_desktop10(MachineImage& m);
void change_network_laptop11(MachineImage& m);
void change_network_thin11(MachineImage& m);
// The live mouse settings and the profile values they were loaded from.
void set_mouse(MachineImage& m, platform::MouseParameters mouse);
// sim_image_world.cpp: a German desktop's adapter texts; a thin Wi-Fi-only laptop.
void change_world_german11(MachineImage& m);
void change_world_thin11(MachineImage& m);
// sim_image_privacy.cpp: app permissions, Explorer and taskbar values, shutdown timers, Office.
void add_privacy_desktop11(MachineImage& m);
void change_privacy_desktop10(MachineImage& m);
void change_privacy_laptop11(MachineImage& m);
// sim_image_network_extras.cpp: the adapters' offload, wake and sleep properties and the NetBT
// interface keys (again after an image replaced its adapters), the Wi-Fi manager's key and the
// profile's accessibility and touch feedback values.
void add_network_extras_desktop11(MachineImage& m);
void add_network_extras(MachineImage& m);
// NetBT bound to no interface.
void remove_netbt_interfaces(MachineImage& m);
NetworkAdapterData realtek_wifi();
// sim_image_startup.cpp: the Run keys, the Startup folders and the entries blocked in them.
void add_startup_desktop11(MachineImage& m);
void change_startup_desktop10(MachineImage& m);
void change_startup_laptop11(MachineImage& m);
// sim_image_game.cpp: the launcher's list, the game and its settings file (width x height).
void add_game(MachineImage& m);
void set_game_settings(MachineImage& m, int width, int height);
void remove_game(MachineImage& m);
void remove_game_settings(MachineImage& m);
void add_other_antivirus(MachineImage& m);
// sim_image_system_extras.cpp: file-system, fault-tolerant-heap and service-host values, and the
// AMD switchable-graphics power setting (after the plans are in place), which Intel PCs lack.
void add_system_extras_desktop11(MachineImage& m);
void change_system_extras_intel(MachineImage& m);
// A stand-in for a program file: an executable's first bytes and a note.
std::string placeholder_exe(std::string_view name);

// Nullopt for an unknown name.
std::optional<MachineImage> make_image(std::string_view name);

}  // namespace vexlo::sim
