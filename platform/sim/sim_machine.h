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
//   memory_agent.json, defender.json, restore.json, input.json, performance.json, echo.json
//                    the rest of Windows (sim_world.h); state.lock counts their changes
//   tray.json        the notification-area icon of the program showing one (sim_tray.h)
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
class SimPerformance;
class SimEcho;
class SimTray;
class SimSelfCopy;

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
    // Starts a program; its pid. `refuses_changes`: guarded as by a game's anti-cheat (its
    // priority can be read, not changed; it cannot be stopped through Processes).
    uint32_t start_process(std::string image, platform::PriorityClass priority = platform::PriorityClass::Normal,
                           bool refuses_changes = false);
    void stop_process(std::string_view image);  // every process of that image, any case
    struct ProcessState {
        uint32_t pid = 0;
        std::string image;
        platform::PriorityClass priority = platform::PriorityClass::Normal;
        bool refuses_changes = false;
    };
    std::vector<ProcessState> process_list();
    // As the user changes it in Task Manager: also for a guarded process. Throws PlatformError
    // for a pid that is not running.
    void set_process_priority(uint32_t pid, platform::PriorityClass priority);
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

    // The system timer: the requests held, by the host process that asked (its pid and
    // program name); one whose process ended without releasing it is listed with alive false
    // and no longer counts. Without the native calls booster_available() is false.
    struct TimerRequest {
        uint32_t pid = 0;
        std::string image;
        uint32_t value = 0;  // 100 ns units
        bool alive = false;
    };
    std::vector<TimerRequest> timer_requests();
    void set_booster_available(bool available);
    // The memory lists, the purge and its refusal (0xC0000061), the purges done; and the
    // counters that may be unreadable (memory_lists() nullopt; processor_load() and
    // memory_use() nullopt).
    struct MemoryState {
        uint64_t free_bytes = 0;
        uint64_t standby_bytes = 0;
        bool refuse_purge = false;
        int purges = 0;
        bool readable = true;
        double processor_load = 0;
        bool system_counters_readable = true;
    };
    MemoryState memory_state();
    void set_memory_lists(uint64_t free_bytes, uint64_t standby_bytes);
    void set_purge_refused(bool refused);
    void set_memory_lists_readable(bool readable);
    void set_processor_load(double percent);
    void set_system_counters_readable(bool readable);
    // ICMP echo: a target answers after `ms` (the machine's clock), losing `loss_percent` of
    // the echoes spread evenly; replaces an earlier entry for it. Throws PlatformError for an
    // address that is not IPv4 or a loss outside 0..100.
    struct EchoTargetState {
        std::string address;
        uint32_t ms = 0;
        int loss = 0;
    };
    void set_echo_target(std::string_view address, uint32_t ms, int loss_percent = 0);
    bool remove_echo_target(std::string_view address);  // false when it was not listed
    void clear_echo_targets();
    std::vector<EchoTargetState> echo_targets();
    void set_network_offline(bool offline);  // every echo fails
    bool network_offline();
    // The notification area. tray_choose and tray_double_click act as a person's click: the
    // handler of the program holding the icon receives it (at once, on this thread, when this
    // object holds it; else that program's watcher takes it from the folder within ~100 ms).
    // Both throw PlatformError when no icon is shown; tray_choose also for an entry the menu
    // does not have (or a separator).
    struct TrayBalloon {
        std::string title, text;
        unsigned timeout_ms = 0;
    };
    struct TrayState {
        bool shown = false;  // false also once the program that showed it has ended
        uint32_t owner_pid = 0;
        std::string tooltip;
        std::vector<std::string> menu;  // "" is a separator
        std::vector<TrayBalloon> balloons;  // every one shown by the icon's program, oldest first
    };
    TrayState tray_state();
    void tray_choose(std::string_view item);
    void tray_double_click();
    // A root-folder task as register_logon_task made it, every setting included.
    struct LogonTaskSettings {
        std::string program, arguments, user;
        std::string run_level;   // "Highest"
        std::string logon_type;  // "Interactive"
        std::string time_limit;  // "PT0S": none
        bool allow_start_on_batteries = false;
        bool stop_on_batteries = true;
        int priority = 7;
    };
    std::optional<LogonTaskSettings> logon_task_settings(std::string_view name);
    // Where the running core lives on the simulated drive (the self copy's source), and
    // putting it there as the launcher does when it installs the product (a stand-in
    // executable when `bytes` is empty). A new machine has no product installed.
    std::string running_core_path();
    void place_running_core(std::string_view bytes = {});

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
    platform::Performance& performance() override;
    platform::Echo& echo() override;
    platform::Tray& tray() override;
    platform::SelfCopy& self_copy() override;

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
    std::unique_ptr<SimPerformance> performance_;
    std::unique_ptr<SimEcho> echo_;
    std::unique_ptr<SimTray> tray_;
    std::unique_ptr<SimSelfCopy> self_copy_;
    std::vector<std::pair<std::string, std::string>> environment_;
};

}  // namespace vexlo::sim
