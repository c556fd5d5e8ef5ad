#pragma once
// A simulated Windows PC that lives in a folder, so the application can be developed, tested
// and demonstrated on Linux. The folder holds everything the PC is:
//   machine.json     facts (Windows build, memory, CPUs, GPUs...) and the user's environment
//   registry.json    HKCU and HKLM, readable and editable by hand
//   registry.json.lock  taken by writers; its first 8 bytes count the registry's changes
//   processes.json   the programs running
//   files/C/...      the drives
//   objects/         named mutexes and events, shared by the processes that open the folder
//   shell.log        what the application asked of the desktop
//   services.json, tasks.json, power.json, network.json, devices.json, boot.json,
//   memory_agent.json, defender.json, restore.json, input.json   the rest of Windows (sim_world.h); state.lock counts
//                    their changes
// Several processes may open the same folder at once; changes made by one are seen by the
// others.
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/platform.h"
#include "platform/sim/sim_faults.h"

namespace vexlo::sim {

class SimRegistry;
class SimFiles;
class SimNamedObjects;
class SimProcesses;
class SimSystemInfo;
class SimShell;
class SimClock;
class SimRandom;
class SimServices;
class SimTasks;
class SimPower;
class SimNetwork;
class SimDevices;
class SimBoot;
class SimMemoryAgent;
class SimDefender;
class SimRestore;
class SimInput;

class SimMachine final : public platform::Platform {
public:
    // Opens the machine kept in `dir` (created when missing). A new or empty folder is seeded
    // from the named built-in image; an existing machine is loaded as it was left and `image`
    // is ignored. Throws PlatformError for an unknown image, a folder that is neither empty
    // nor a machine, or a machine whose files are damaged.
    static std::unique_ptr<SimMachine> open(const std::filesystem::path& dir, std::string_view image = "desktop11");
    static std::vector<std::string> image_names();

    ~SimMachine() override;
    SimMachine(const SimMachine&) = delete;
    SimMachine& operator=(const SimMachine&) = delete;

    // Where a Windows path of this machine lives on the host
    // ("C:\\Users\\Player\\x" -> dir/files/C/Users/Player/x). Throws PlatformError for a path
    // the machine refuses (relative, "..").
    std::filesystem::path host_path(std::string_view windows_path) const;
    const std::filesystem::path& dir() const;
    // The image the machine was seeded from.
    const std::string& image() const;
    Faults& faults();

    // Changing the simulated world, for tests and tools. The process list is kept in the
    // folder (other processes see it); the rest belongs to this object.
    void start_process(std::string image);
    void stop_process(std::string_view image);  // every process of that image, any case
    void set_fixed_time(std::optional<platform::LocalTime> time);
    // The monotonic clock in a test's hands (SimClock::freeze, SimClock::advance).
    void freeze_clock();
    void advance_clock(std::chrono::milliseconds by);
    void set_elevated(bool elevated);  // also kept in the folder for later opens
    // Another account signed in at the desktop than the one the program runs as (USERNAME of
    // the environment); empty for the same. Also kept in the folder.
    void set_desktop_user(std::string user);
    void script_message_box(platform::MsgResult answer);  // queued answers for message_box
    std::vector<std::string> shell_log() const;            // what this object's shell recorded

    // The rest of the world, kept in the folder (every object on it sees the change). Each
    // throws PlatformError for something the machine does not have.
    void set_service_running(std::string_view name, bool running);  // no checks, no dependents
    // A restart of Windows, as far as the simulated PC keeps what it changes: the service
    // manager takes every start type from the registry again, disabled services are stopped
    // and automatic ones started (SimServices::boot). Processes, the clock and the rest stay.
    void reboot();
    // `path` is folder and name; `state` one of Ready, Running, Disabled, Queued, Unknown.
    void set_task_state(std::string_view path, std::string_view state);
    void delete_plan(std::string_view guid);  // not the active plan
    struct PowerIndices {
        int32_t ac = 0;
        int32_t dc = 0;
    };
    // Both indices of a setting of any plan, hidden templates included; nullopt when absent.
    std::optional<PowerIndices> power_indices(std::string_view plan, std::string_view subgroup,
                                              std::string_view setting);
    void set_defender(bool available, bool realtime_protection);
    // System Protection of the system drive C:, without any of the checks.
    void set_system_protection(bool on);
    struct RestorePoint {
        std::string description;
        std::string type;  // "MODIFY_SETTINGS"
        std::string time;  // "2026-12-10T14:03:59", the machine's local time
    };
    std::vector<RestorePoint> restore_points();  // oldest first
    // `status` is "Up", "Disconnected" or "Disabled".
    void set_adapter_status(std::string_view adapter, std::string_view status);
    int adapter_restarts(std::string_view adapter);  // 0 for an adapter the machine lacks
    // The DNS client's cache and how often it was flushed.
    std::vector<std::string> dns_cache();
    int dns_flushes();
    struct QosPolicyInfo {
        std::string name, app_path;
        int dscp = 0;
    };
    std::vector<QosPolicyInfo> qos_policies();
    // Each machine-policy refresh, oldest first: the policies it handed the QoS service, and the
    // "Do not use NLA" value it read beside them ("" when absent).
    struct QosRefresh {
        std::vector<std::string> policies;
        std::string no_nla;
    };
    std::vector<QosRefresh> qos_refreshes();
    // The mouse settings in use, how often SPI_SETMOUSE set them and its last flags.
    struct MouseState {
        platform::MouseParameters mouse{};
        int sets = 0;
        uint32_t last_flags = 0;
    };
    MouseState mouse_state();

    platform::Registry& registry() override;
    platform::FileSystem& files() override;
    platform::NamedObjects& named_objects() override;
    platform::Processes& processes() override;
    platform::SystemInfo& system() override;
    platform::Shell& shell() override;
    platform::Clock& clock() override;
    platform::Random& random() override;
    platform::Services& services() override;
    platform::TaskScheduler& tasks() override;
    platform::Power& power() override;
    platform::Network& network() override;
    platform::Devices& devices() override;
    platform::BootConfig& boot() override;
    platform::MemoryAgent& memory_agent() override;
    platform::Defender& defender() override;
    platform::SystemRestore& restore() override;
    platform::Input& input() override;

private:
    SimMachine();
    void save_machine_file() const;

    std::filesystem::path dir_;
    std::string image_;
    Faults faults_;
    std::unique_ptr<SimRegistry> registry_;
    std::unique_ptr<SimFiles> files_;
    std::unique_ptr<SimNamedObjects> objects_;
    std::unique_ptr<SimProcesses> processes_;
    std::unique_ptr<SimSystemInfo> system_;
    std::unique_ptr<SimShell> shell_;
    std::unique_ptr<SimClock> clock_;
    std::unique_ptr<SimRandom> random_;
    std::unique_ptr<SimServices> services_;
    std::unique_ptr<SimTasks> tasks_;
    std::unique_ptr<SimPower> power_;
    std::unique_ptr<SimNetwork> network_;
    std::unique_ptr<SimDevices> devices_;
    std::unique_ptr<SimBoot> boot_;
    std::unique_ptr<SimMemoryAgent> memory_agent_;
    std::unique_ptr<SimDefender> defender_;
    std::unique_ptr<SimRestore> restore_;
    std::unique_ptr<SimInput> input_;
    std::vector<std::pair<std::string, std::string>> environment_;
};

}  // namespace vexlo::sim
